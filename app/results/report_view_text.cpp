#include "app/results/report_view_text.h"

#include <algorithm>
#include <vector>

namespace velk::results {
namespace {

// The longest prefix of at most max bytes that ends on a character boundary.
std::string_view cutAt(std::string_view text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) --end;
    return text.substr(0, end);
}

void appendLine(std::string& out, std::string_view line, bool cut = false) {
    const std::string_view kept = cutAt(line, kMaxShownLineBytes);
    out.append(kept);
    if (cut || kept.size() < line.size()) out.append(kCutMark);
}

// Characters of UTF-8 text (continuation bytes do not count).
size_t utf8Length(std::string_view text) {
    size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

// Walks the report line by line; "\r" before a line end is dropped.
class Lines {
public:
    explicit Lines(std::string_view text) : m_text(text) {}
    bool atEnd() const { return m_at >= m_text.size(); }
    size_t position() const { return m_at; }
    void seek(size_t at) { m_at = at; }
    std::string_view next() {
        const size_t end = m_text.find('\n', m_at);
        std::string_view line =
            m_text.substr(m_at, end == std::string_view::npos ? end : end - m_at);
        m_at = end == std::string_view::npos ? m_text.size() : end + 1;
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }
    // Whether the line that next() gave last was followed by a line end.
    bool lineEnded() const { return m_at > 0 && m_text[m_at - 1] == '\n'; }

private:
    std::string_view m_text;
    size_t m_at = 0;
};

bool hasTab(std::string_view line) {
    return line.find('\t') != std::string_view::npos;
}

// Calls cell(index, text) for each tab-separated cell of a line's shown part
// (its first kMaxShownLineBytes bytes), leaving out the empty cell after a
// trailing tab.  The report pads the label of a block's first line with
// extra tabs so that its names reach the tab stop of the values below
// ("Request name:\t\t\t"); in a first line those empty cells after the label
// are left out too, so that the names stand in the values' columns.
template <typename Cell>
void forEachCell(std::string_view line, bool first, Cell&& cell) {
    line = cutAt(line, kMaxShownLineBytes);
    while (!line.empty() && line.back() == '\t') line.remove_suffix(1);
    size_t index = 0, start = 0;
    bool padding = first;
    for (;;) {
        const size_t tab = line.find('\t', start);
        const std::string_view text =
            line.substr(start, tab == std::string_view::npos ? tab : tab - start);
        const bool skip = padding && index == 1 && text.empty();
        if (!skip) {
            cell(index++, text);
            if (index > 1) padding = false;
        }
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
}

// Lays out the block of lines with tabs that starts at the reader's
// position, as columns: each as wide as its widest cell (at most
// kMaxColumnChars), kColumnGap blanks between.  Nothing is kept per line, so
// a block of millions of lines costs its column widths only.
class Block {
public:
    explicit Block(Lines& lines) : m_lines(lines), m_start(lines.position()) {
        for (bool first = true; !m_lines.atEnd(); first = false) {
            const size_t at = m_lines.position();
            const std::string_view line = m_lines.next();
            if (!hasTab(line)) {
                m_lines.seek(at);
                break;
            }
            forEachCell(line, first, [this](size_t c, std::string_view text) {
                if (m_widths.size() <= c) m_widths.resize(c + 1, 0);
                m_widths[c] = std::max(m_widths[c], std::min(utf8Length(text), kMaxColumnChars));
            });
        }
        m_end = m_lines.position();
    }
    // The bytes the block takes laid out, or more than limit once it is known
    // to take more.
    size_t bytes(size_t limit) {
        size_t all = 0;
        m_lines.seek(m_start);
        for (bool first = true; m_lines.position() < m_end && all <= limit; first = false) {
            size_t row = 0, last = 0;
            forEachCell(m_lines.next(), first, [&](size_t c, std::string_view text) {
                const size_t length = utf8Length(text);
                if (c > 0) row += std::max(m_widths[c - 1], last) - last + kColumnGap;
                row += text.size();
                last = length;
            });
            all += std::min(row, kMaxShownLineBytes) + kCutMark.size() + 1;
        }
        return all;
    }
    // Appends the block, each line followed by its line end.
    void append(std::string& out, bool laidOut) {
        std::string row;
        each([&](std::string_view line, bool first) {
            if (laidOut) {
                rowOf(line, first, row);
                appendLine(out, row, line.size() > kMaxShownLineBytes);
            } else {
                appendLine(out, line);
            }
            if (m_lines.lineEnded()) out.push_back('\n');
        });
    }

private:
    template <typename Visit>
    void each(Visit&& visit) {
        m_lines.seek(m_start);
        for (bool first = true; m_lines.position() < m_end; first = false)
            visit(m_lines.next(), first);
    }
    void rowOf(std::string_view line, bool first, std::string& row) const {
        row.clear();
        forEachCell(line, first, [&](size_t c, std::string_view text) {
            if (c > 0) {
                // Pads the cell before to its column's width.
                const size_t pad =
                    m_widths[c - 1] > m_lastLength ? m_widths[c - 1] - m_lastLength : 0;
                row.append(pad + kColumnGap, ' ');
            }
            row.append(text);
            m_lastLength = utf8Length(text);
        });
    }

    Lines& m_lines;
    size_t m_start, m_end = 0;
    std::vector<size_t> m_widths;
    mutable size_t m_lastLength = 0;
};

}  // namespace

std::string reportTextForView(std::string_view report) {
    // Laying out widens short cells: a hostile report of many narrow cells
    // under a few wide ones would grow far beyond its size, so past this
    // budget the blocks are shown as the tab-separated text they are.
    const size_t budget = 2 * report.size() + kLayoutBudgetBytes;
    std::string out;
    out.reserve(report.size());
    Lines lines(report);
    while (!lines.atEnd()) {
        const size_t at = lines.position();
        const std::string_view line = lines.next();
        if (!hasTab(line)) {
            appendLine(out, line);
            if (lines.lineEnded()) out.push_back('\n');
            continue;
        }
        lines.seek(at);
        Block block(lines);
        const size_t room = budget > out.size() ? budget - out.size() : 0;
        const bool laidOut = block.bytes(room) <= room;
        block.append(out, laidOut);
    }
    return out;
}

std::string titleForList(std::string_view title) {
    const std::string_view kept = cutAt(title, kMaxShownTitleBytes);
    std::string out(kept);
    if (kept.size() < title.size()) out.append(kCutMark);
    return out;
}

}  // namespace velk::results
