#pragma once
// Writes the listening port for scripts that start the demo site with --port 0.
#include <cstdint>
#include <string>

namespace velk::demo {

// Writes "PORT\n" to a temporary file beside path and renames it over path, so a
// script polling for the file never reads it half-written.  Throws
// std::system_error on failure.
void writePortFile(const std::string& path, uint16_t port);

}  // namespace velk::demo
