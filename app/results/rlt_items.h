#pragma once
// The items of a results file on the byte codec: little-endian ints, floats,
// doubles and counted strings (a length byte below 255; else 255 and a 2-byte
// length below 65534; else 255, 255, 255 and a 4-byte length).
//
// RltReader reads untrusted bytes: after the first error every read fails and
// error() says why (a format with %1 for the file's name); counts and lengths
// are checked against the bytes that remain and against a memory budget before
// anything is allocated for them.  Plain values; not shared.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/results/rlt_file.h"
#include "engine/base/byte_codec.h"

namespace velk::results {

class RltWriter {
public:
    void putInt(int32_t v) { m_out.put(v); }
    void putFloat(float v) { m_out.put(v); }
    void putDouble(double v) { m_out.put(v); }
    void putInt64(int64_t v) { m_out.put(v); }
    size_t size() const { return m_out.size(); }
    // Overwrites the int at offset (a length known only afterwards).
    void setInt(size_t offset, int32_t v) { m_out.patch(offset, v); }
    void putString(std::string_view s) {
        const size_t n = s.size();
        if (n < 255) {
            m_out.put(uint8_t(n));
        } else if (n < 65534) {
            m_out.put(uint8_t(255));
            m_out.put(uint16_t(n));
        } else {
            m_out.put(uint8_t(255));
            m_out.put(uint16_t(0xffff));
            m_out.put(uint32_t(n));
        }
        m_out.putBytes(s);
    }
    const std::string& bytes() const { return m_out.bytes(); }

private:
    ByteWriter m_out;
};

class RltReader {
public:
    static constexpr const char* kPastEnd = "An attempt was made to access %1 past its end.";
    static constexpr const char* kTextTooLong =
        "%1 holds a text longer than 16 MiB; it was not loaded further.";
    static constexpr const char* kTooLarge =
        "%1 holds more data than its size allows; it was not loaded further.";

    explicit RltReader(std::string_view bytes)
        : m_in(bytes),
          m_budget(RltLimits::kMemoryFloor + bytes.size() * RltLimits::kMemoryPerFileByte) {}

    bool getInt(int32_t& v) { return get(v); }
    bool getFloat(float& v) { return get(v); }
    bool getDouble(double& v) { return get(v); }
    bool getInt64(int64_t& v) { return get(v); }
    bool atEnd() const { return m_in.atEnd(); }
    size_t position() const { return m_in.position(); }
    // Moves on to pos, which lies ahead within the bytes.
    bool skipTo(size_t pos) { return (m_ok && m_in.skipTo(pos)) || pastEnd(); }
    // Marks the reading failed with error (a format with %1).
    bool refuse(const char* error) { return fail(error); }
    // A string of at most maxLength bytes; past it, the error tooLong (or
    // kTextTooLong).
    bool getString(std::string& s, size_t maxLength = RltLimits::kMaxReportBytes,
                   const char* tooLong = nullptr) {
        uint8_t b = 0;
        if (!get(b)) return false;
        size_t n = b;
        if (b == 255) {
            uint16_t w = 0;
            if (!get(w)) return false;
            n = w;
            if (w == 0xffff) {
                uint32_t d = 0;
                if (!get(d)) return false;
                n = d;
            }
        }
        if (n > m_in.remaining()) return pastEnd();
        if (n > maxLength) return fail(tooLong ? tooLong : kTextTooLong);
        if (!charge(n)) return false;
        std::string_view text;
        m_in.getBytes(n, text);
        s.assign(text);
        return true;
    }
    // A count of entries that each take at least minBytes of the file and
    // memoryBytes of memory, at most limit of them (tooMany says so).
    bool getCount(int32_t& n, size_t minBytes, size_t memoryBytes, int32_t limit,
                  const char* tooMany) {
        if (!getInt(n)) return false;
        if (n < 0 || size_t(n) > m_in.remaining() / minBytes) return pastEnd();
        if (n > limit) return fail(tooMany);
        return charge(size_t(n) * memoryBytes);
    }
    // Counts memory the reading is about to allocate against its budget.
    bool charge(size_t bytes) {
        if (bytes > m_budget) return fail(kTooLarge);
        m_budget -= bytes;
        return true;
    }
    bool ok() const { return m_ok; }
    const char* error() const { return m_error; }

private:
    template <class T>
    bool get(T& v) {
        return (m_ok && m_in.get(v)) || pastEnd();
    }
    bool pastEnd() { return fail(kPastEnd); }
    bool fail(const char* error) {
        if (m_ok) m_error = error;
        m_ok = false;
        return false;
    }
    ByteReader m_in;
    size_t m_budget;
    bool m_ok = true;
    const char* m_error = kPastEnd;
};

}  // namespace velk::results
