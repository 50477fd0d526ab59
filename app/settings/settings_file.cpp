#include "app/settings/settings_file.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <utility>

#include "app/base/file_io.h"

namespace velk::settings {
namespace {

constexpr std::string_view kGroup = "Settings";

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Keys and group names: letters, digits and "-_." as they are, "/" as "\",
// other bytes as %XX (and %UXXXX for wider characters when reading).
std::string escapedKey(std::string_view key) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : key) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.') {
            out += char(c);
        } else if (c == '/') {
            out += '\\';
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        }
    }
    return out;
}

std::string unescapedKey(std::string_view key) {
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        const char c = key[i];
        if (c == '\\') {
            out += '/';
        } else if (c == '%' && i + 2 < key.size() && key[i + 1] == 'U' && i + 5 < key.size() &&
                   isHex(key[i + 2]) && isHex(key[i + 3]) && isHex(key[i + 4]) &&
                   isHex(key[i + 5])) {
            appendUtf8(out, uint32_t(hexValue(key[i + 2]) << 12 | hexValue(key[i + 3]) << 8 |
                                     hexValue(key[i + 4]) << 4 | hexValue(key[i + 5])));
            i += 5;
        } else if (c == '%' && i + 2 < key.size() && isHex(key[i + 1]) && isHex(key[i + 2])) {
            out += char(hexValue(key[i + 1]) << 4 | hexValue(key[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// A string value as QSettings writes one: escapes for control characters,
// quotes and backslashes, the whole in quotes when it holds ",", ";" or "=" or
// starts or ends with a space, and a leading "@" doubled.
std::string escapedValue(std::string_view value) {
    std::string out;
    if (!value.empty() && value.front() == '@') out += '@';
    bool quote = false;
    bool hexBefore = false;
    for (unsigned char c : value) {
        if (c == ';' || c == ',' || c == '=') quote = true;
        if (hexBefore && isHex(char(c))) {
            static const char kDigits[] = "0123456789abcdef";
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
            continue;
        }
        hexBefore = false;
        switch (c) {
            case '\0':
                out += "\\0";
                hexBefore = true;
                break;
            case '\a':
                out += "\\a";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\v':
                out += "\\v";
                break;
            case '"':
            case '\\':
                out += '\\';
                out += char(c);
                break;
            default:
                if (c <= 0x1F || c == 0x7F) {
                    static const char kDigits[] = "0123456789abcdef";
                    out += "\\x";
                    if (c >> 4) out += kDigits[c >> 4];
                    out += kDigits[c & 15];
                    hexBefore = true;
                } else {
                    out += char(c);
                }
        }
    }
    if (quote || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) out = '"' + out + '"';
    return out;
}

// A value as QSettings reads one: quoted parts, escapes, and commas outside
// quotes making a list.  A list of more than one item is no single string.
std::optional<std::string> unescapedValue(std::string_view raw) {
    std::vector<std::string> items;
    std::string item;
    bool inQuotes = false;
    bool quoted = false;
    size_t keep = 0;  // trailing spaces after this length may be dropped
    auto chop = [&] {
        if (quoted) return;
        while (item.size() > keep && (item.back() == ' ' || item.back() == '\t')) item.pop_back();
    };
    size_t i = 0;
    auto skipSpaces = [&] {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t')) ++i;
    };
    skipSpaces();
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i >= raw.size()) break;
            const char e = raw[i++];
            static constexpr std::string_view kFrom = "abfnrtv\"?'\\";
            static constexpr std::string_view kTo = "\a\b\f\n\r\t\v\"?'\\";
            if (const size_t k = kFrom.find(e); k != std::string_view::npos) {
                item += kTo[k];
            } else if (e == 'x' || (e >= '0' && e <= '7')) {
                uint32_t code = e == 'x' ? 0 : uint32_t(e - '0');
                const bool hex = e == 'x';
                while (i < raw.size() && (hex ? isHex(raw[i]) : raw[i] >= '0' && raw[i] <= '7')) {
                    code = (code * (hex ? 16 : 8) + uint32_t(hexValue(raw[i]))) & 0xFFFF;
                    ++i;
                }
                appendUtf8(item, code);
            }
            keep = item.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipSpaces();
        } else if (c == ',' && !inQuotes) {
            chop();
            items.push_back(std::move(item));
            item.clear();
            quoted = false;
            keep = 0;
            ++i;
            skipSpaces();
        } else {
            size_t j = i + 1;
            while (j < raw.size() && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',') ++j;
            item.append(raw.substr(i, j - i));
            i = j;
        }
    }
    chop();
    if (!items.empty()) {
        if (items.size() > 1 || !item.empty()) return std::nullopt;
    }
    if (item.starts_with("@@")) return item.substr(1);
    if (item.starts_with("@ByteArray(") && item.ends_with(")"))
        return item.substr(11, item.size() - 12);
    if (item.starts_with("@")) return std::nullopt;  // a value of another type
    return item;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return ".";
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Makes every missing directory of path; the last one only its owner may enter.
void makeOwnerDirectory(const std::string& dir) {
    for (size_t slash = dir.find('/', 1); slash != std::string::npos;
         slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0777);
    ::mkdir(dir.c_str(), 0700);
    ::chmod(dir.c_str(), 0700);
}

}  // namespace

SettingsFile::SettingsFile() : m_path(userFilePath()) {}

SettingsFile::SettingsFile(std::string filePath) : m_path(std::move(filePath)) {}

std::string SettingsFile::userFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        config && config[0] == '/' ? std::string(config) : homeDirectory() + "/.config";
    return base + "/Orvantis/VELK.conf";
}

bool SettingsFile::open(bool create) {
    m_writing = create;
    m_changed = false;
    m_lines.clear();
    std::string bytes;
    struct stat st {};
    if (::stat(m_path.c_str(), &st) == 0) {
        auto read = base::readRegularFile(m_path, kMaxBytes);
        if (!read) return false;
        bytes = std::move(*read);
    }

    std::string section = "General";
    bool haveGroup = false;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        Line line;
        line.text = bytes.substr(start, end - start);
        const std::string_view text = trimmed(line.text);
        if (text.starts_with('[')) {
            const size_t close = text.find(']');
            section = unescapedKey(text.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            haveGroup = haveGroup || section == kGroup;
        } else if (!text.empty() && text.front() != ';' && text.front() != '#') {
            if (const size_t eq = text.find('='); eq != std::string_view::npos) {
                line.key = unescapedKey(trimmed(text.substr(0, eq)));
                line.value = std::string(text.substr(eq + 1));
            }
        }
        line.section = section;
        m_lines.push_back(std::move(line));
        start = end + 1;
    }
    if (!create && !haveGroup) return false;
    if (create) makeOwnerDirectory(directoryOf(m_path));
    return true;
}

SettingsFile::Line* SettingsFile::find(std::string_view name) {
    // The last one wins, as when the file is read by QSettings.
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it)
        if (it->section == kGroup && it->key == name) return &*it;
    return nullptr;
}

std::optional<int32_t> SettingsFile::readInt(std::string_view name) {
    const std::optional<std::string> text = readString(name);
    if (!text) return std::nullopt;
    std::string_view digits = trimmed(*text);
    if (digits.starts_with('+')) digits.remove_prefix(1);
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
        return std::nullopt;
    return value;
}

std::optional<std::string> SettingsFile::readString(std::string_view name) {
    const Line* line = find(name);
    if (!line) return std::nullopt;
    return unescapedValue(line->value);
}

void SettingsFile::set(std::string_view name, std::string rawValue) {
    m_changed = true;
    std::string text = escapedKey(name) + "=" + rawValue;
    if (Line* line = find(name)) {
        line->text = std::move(text);
        line->value = std::move(rawValue);
        return;
    }
    // After the group's last value, or in a new group at the end.
    size_t at = m_lines.size();
    bool found = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].section != kGroup) continue;
        found = true;
        if (!m_lines[i].key.empty() || trimmed(m_lines[i].text).starts_with('[')) at = i + 1;
    }
    if (!found) {
        if (!m_lines.empty() && !trimmed(m_lines.back().text).empty())
            m_lines.push_back(Line{"", m_lines.back().section, "", ""});
        m_lines.push_back(Line{"[" + escapedKey(kGroup) + "]", std::string(kGroup), "", ""});
        at = m_lines.size();
    }
    m_lines.insert(m_lines.begin() + std::ptrdiff_t(at),
                   Line{std::move(text), std::string(kGroup), std::string(name), rawValue});
}

void SettingsFile::writeInt(std::string_view name, int32_t value) {
    set(name, std::to_string(value));
}

void SettingsFile::writeString(std::string_view name, std::string_view value) {
    set(name, escapedValue(value));
}

bool SettingsFile::close() {
    if (!m_writing || !m_changed) return true;
    std::string bytes;
    for (const Line& line : m_lines) {
        bytes += line.text;
        bytes += '\n';
    }
    return base::writeFileReplacing(m_path, bytes, base::FileAccess::kOwnerOnly).isOk();
}

}  // namespace velk::settings
