#include "cli/output_file.h"

#include <cstring>

#include "app/base/file_io.h"

namespace velk::cli {

bool writeFileWhole(const std::string& path, const std::string& content, std::string& error) {
    const int err = velk::model::replaceFileWhole(path, content);
    if (err != 0) error = path + ": " + std::strerror(err);
    return err == 0;
}

}  // namespace velk::cli
