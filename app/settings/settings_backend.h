#pragma once
// A per-user store of named values, as the global settings are kept in it: one
// group of 32-bit numbers and strings.  The model decides what is read and
// written in which order; an implementation only moves values.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velk::settings {

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;

    // Opens the group; create makes it when it does not exist.  False when it
    // cannot be opened (or made).
    virtual bool open(bool create) = 0;
    // The value, or nothing when it is missing or not of that type.
    virtual std::optional<int32_t> readInt(std::string_view name) = 0;
    virtual std::optional<std::string> readString(std::string_view name) = 0;
    virtual void writeInt(std::string_view name, int32_t value) = 0;
    virtual void writeString(std::string_view name, std::string_view value) = 0;
    // Makes the writes lasting; false when they could not be stored.
    virtual bool close() = 0;
};

}  // namespace velk::settings
