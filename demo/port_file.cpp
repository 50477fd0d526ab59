#include "port_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "unique_fd.h"

namespace velk::demo {

void writePortFile(const std::string& path, uint16_t port) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const std::string text = std::to_string(port) + "\n";
    {
        UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.valid()) throw std::system_error(errno, std::generic_category(), temp);
        if (::write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            const int err = errno;
            ::unlink(temp.c_str());
            throw std::system_error(err, std::generic_category(), temp);
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw std::system_error(err, std::generic_category(), path);
    }
}

}  // namespace velk::demo
