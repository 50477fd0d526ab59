// The manual page of the test script format (packaging/man/velk-script.5.md)
// describes every general option once.  These tests hold it to the engine's own
// option table (names, kinds, sizes and defaults read from the code), and hold
// the README and the HTML help, which point to it, to the names it describes.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "script/general_options.h"
#include "script/parsed_test.h"

namespace velk {
namespace {

std::string readSource(const std::string& relativePath) {
    std::ifstream in(std::string(VELK_SOURCE_DIR) + "/" + relativePath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines from the heading to the next heading of its level or above.
std::vector<std::string> section(const std::vector<std::string>& lines,
                                 const std::string& heading) {
    std::vector<std::string> out;
    bool on = false;
    for (const std::string& line : lines) {
        if (on && line.starts_with("# ")) break;
        if (on) out.push_back(line);
        if (line == heading) on = true;
    }
    return out;
}

// One option entry of the manual: a term line "`name`, `other` (kind, ...,
// default value)" followed by its ": text".
struct Entry {
    std::vector<std::string> names;
    std::string details;  // inside the parentheses
};

std::vector<Entry> optionEntries(const std::vector<std::string>& manual) {
    const std::vector<std::string> lines = section(manual, "# GENERAL OPTIONS");
    const std::regex code("`([a-z0-9]+)`");
    std::vector<Entry> entries;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& term = lines[i];
        if (term.empty() || term[0] == ' ' || term[0] == ':' || term[0] == '#' ||
            !lines[i + 1].starts_with(": "))
            continue;
        Entry e;
        const size_t open = term.find(" (");
        const std::string names = term.substr(0, open);
        for (auto it = std::sregex_iterator(names.begin(), names.end(), code);
             it != std::sregex_iterator(); ++it)
            e.names.push_back((*it)[1]);
        if (open != std::string::npos)
            e.details = term.substr(open + 2, term.rfind(')') - open - 2);
        entries.push_back(e);
    }
    return entries;
}

std::map<std::string, Entry> byName(const std::vector<Entry>& entries) {
    std::map<std::string, Entry> out;
    for (const Entry& e : entries)
        for (const std::string& name : e.names) out.emplace(name, e);
    return out;
}

const char* kindWord(OptionType type) {
    switch (type) {
        case OptionType::Integer:
            return "integer";
        case OptionType::Flag:
            return "flag";
        case OptionType::Text:
            return "text";
        case OptionType::Decimal:
            return "decimal";
        case OptionType::ZeroOne:
            return "0 or 1";
        case OptionType::Method:
            return "method";
    }
    return "";
}

// The default of a new test as the manual writes it.
std::string defaultText(const OptionDescriptor& d) {
    const GeneralOptions fresh;
    if (auto* text = std::get_if<std::string GeneralOptions::*>(&d.storage))
        return (fresh.**text).empty() ? "empty" : "`" + fresh.**text + "`";
    if (auto* number = std::get_if<double GeneralOptions::*>(&d.storage)) {
        std::ostringstream out;
        out << fresh.**number;
        return out.str();
    }
    const int32_t value = fresh.*std::get<int32_t GeneralOptions::*>(d.storage);
    if (d.type == OptionType::Method) return value == 0 ? "GET" : "POST";
    return std::to_string(value);
}

class OptionManual : public ::testing::Test {
protected:
    std::vector<std::string> m_manual = linesOf(readSource("packaging/man/velk-script.5.md"));
    std::vector<Entry> m_entries = optionEntries(m_manual);
    std::map<std::string, Entry> m_documented = byName(m_entries);
};

TEST_F(OptionManual, DescribesEveryEngineOptionOnceWithItsKindSizeAndDefault) {
    ASSERT_GT(m_entries.size(), 10u);
    std::map<std::string, int> times;
    for (const Entry& e : m_entries)
        for (const std::string& name : e.names) ++times[name];
    for (const auto& [name, count] : times) EXPECT_EQ(count, 1) << name;

    const std::regex defaultValue("default ([^,;]+)");
    for (const OptionDescriptor& d : optionTable()) {
        SCOPED_TRACE(d.name);
        auto it = m_documented.find(d.name);
        if (it == m_documented.end()) {
            ADD_FAILURE() << "the manual does not describe it";
            continue;
        }
        const std::string& details = it->second.details;
        EXPECT_TRUE(details.starts_with(std::string(kindWord(d.type)) + ",")) << details;
        if (d.type == OptionType::Text) {
            EXPECT_NE(details.find(", " + std::to_string(d.size - 1) + " characters"),
                      std::string::npos)
                << details;
        }
        std::smatch match;
        ASSERT_TRUE(std::regex_search(details, match, defaultValue)) << details;
        EXPECT_EQ(match[1].str(), defaultText(d));
    }
}

TEST_F(OptionManual, NamesOnlyOptionsTheEngineTakes) {
    // Options outside the table (rate, http2) have rules of their own; the
    // engine knows a name when it either takes a value or says why not.
    for (const auto& [name, entry] : m_documented) {
        if (findOption(name) != nullptr) continue;
        ParsedTest test;
        const Status set = setGeneralOption(test, name, "1");
        EXPECT_TRUE(set.isOk() || !set.message().empty()) << name << " is no option";
    }
}

TEST_F(OptionManual, HelpAndReadmeNameOnlyOptionsItDescribesAndPointToIt) {
    const std::string help = readSource("docs/help/script-reference.html");
    const std::string readme = readSource("README.md");
    std::vector<std::string> named;
    // The first column of the help's table of common options.
    const size_t from = help.find("<h2>Common options</h2>");
    ASSERT_NE(from, std::string::npos);
    const std::string table = help.substr(from, help.find("</table>", from) - from);
    const std::regex firstCell("<tr><td>(.*?)</td>"), code("<code>([a-z0-9]+)</code>");
    for (auto row = std::sregex_iterator(table.begin(), table.end(), firstCell);
         row != std::sregex_iterator(); ++row) {
        const std::string cell = (*row)[1];
        for (auto it = std::sregex_iterator(cell.begin(), cell.end(), code);
             it != std::sregex_iterator(); ++it)
            named.push_back((*it)[1]);
    }
    EXPECT_GT(named.size(), 5u);
    // The README's --set examples and the [general] lines of its sample scripts.
    const std::regex setOption("--set ([a-z0-9]+)="), iniBlock("```ini\n([^`]*)```"),
        optionLine("([a-z0-9]+)=.*");
    for (auto it = std::sregex_iterator(readme.begin(), readme.end(), setOption);
         it != std::sregex_iterator(); ++it)
        named.push_back((*it)[1]);
    for (auto block = std::sregex_iterator(readme.begin(), readme.end(), iniBlock);
         block != std::sregex_iterator(); ++block) {
        bool general = true;
        for (const std::string& line : linesOf((*block)[1])) {
            std::smatch match;
            if (line.starts_with("[")) general = line == "[general]";
            if (general && std::regex_match(line, match, optionLine)) named.push_back(match[1]);
        }
    }
    for (const std::string& name : named)
        EXPECT_TRUE(m_documented.contains(name)) << name << " is not in the manual";
    EXPECT_NE(help.find("velk-script"), std::string::npos);
    EXPECT_NE(readme.find("packaging/man/velk-script.5.md"), std::string::npos);
}

TEST_F(OptionManual, ExampleIsTheShippedPacedScript) {
    std::vector<std::string> example;
    bool inBlock = false;
    for (const std::string& line : section(m_manual, "# EXAMPLES")) {
        if (line.starts_with("```")) {
            if (inBlock) break;
            inBlock = true;
        } else if (inBlock) {
            example.push_back(line);
        }
    }
    std::vector<std::string> shipped;
    for (const std::string& line : linesOf(readSource("examples/paced.txt")))
        if (!line.starts_with(";") && !(shipped.empty() && line.empty())) shipped.push_back(line);
    EXPECT_EQ(example, shipped);
}

}  // namespace
}  // namespace velk
