#include "scenario_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>

#include "vts_reader.h"
#include "vts_writer.h"

namespace velk::model {

std::string scenarioFileBytes(const CScenario& scenario) {
    VtsWriter out;
    out.writeSchema();
    scenario.write(out);
    return out.bytes();
}

bool readScenarioBytes(CScenario& scenario, std::string_view bytes, std::string& error) {
    VtsReader in(bytes);
    if (in.beginRecord()) scenario.read(in);
    if (!in.ok()) {
        error = in.error();
        return false;
    }
    return true;
}

bool saveScenarioFile(const CScenario& scenario, const std::string& path, std::string& error) {
    const std::string bytes = scenarioFileBytes(scenario);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), std::streamsize(bytes.size()));
    if (out) out.flush();
    if (!out) {
        error = "Failed to save document: " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool readRegularFile(const std::string& path, size_t maxBytes, std::string& out,
                     std::string& error) {
    out.clear();
    // Non-blocking, so that opening a FIFO cannot hang; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = false;
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
    } else if (uint64_t(st.st_size) > maxBytes) {
        error = path + ": larger than " + std::to_string(maxBytes >> 20) + " MiB";
    } else {
        ok = true;
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || out.size() + size_t(n > 0 ? n : 0) > maxBytes) {
                error = path + (n < 0 ? std::string(": ") + std::strerror(errno)
                                      : ": larger than " + std::to_string(maxBytes >> 20) + " MiB");
                ok = false;
                break;
            }
            if (n == 0) break;
            out.append(chunk, size_t(n));
        }
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
}

bool loadScenarioFile(CScenario& scenario, const std::string& path, std::string& error) {
    try {
        std::string bytes;
        if (!readRegularFile(path, kMaxScenarioFile, bytes, error)) {
            error = "Failed to open document: " + error;
            return false;
        }
        return readScenarioBytes(scenario, bytes, error);
    } catch (const std::exception&) {
        // Out of memory or a library failure: the document is not loaded.
        error = "An unexpected error occurred while reading " + path + ".";
        return false;
    }
}

}  // namespace velk::model
