#include "app/results/comparison_text.h"

#include <cstdio>
#include <vector>

#include "app/results/svg_chart.h"
#include "app/results/utf8_text.h"

namespace velk::results {
namespace {

// Valid UTF-8 without control characters: others become "?".
std::string visible(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const size_t n = utf8SequenceLength(s, i);
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            out += '?';
            i += n == 0 ? 1 : n;
            continue;
        }
        out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

// Characters on a terminal: code points, not bytes.
size_t columns(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

std::string format(const char* fmt, double v) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, v);
    return text;
}

std::string signedPercent(double v) {
    return (v >= 0 ? "+" : "") + format("%.1f", v) + "%";
}

std::string countCell(const ComparisonRow& row, const char* arrow) {
    const std::string base = row.inBase ? std::to_string(row.baseCount) : "-";
    const std::string current = row.inCurrent ? std::to_string(row.currentCount) : "-";
    std::string cell = base + arrow + current;
    if (row.inBase && row.inCurrent && row.baseCount > 0)
        cell +=
            " (" +
            signedPercent(double(row.currentCount - row.baseCount) * 100 / double(row.baseCount)) +
            ")";
    return cell;
}

std::string errorCell(const ComparedMeasure& m, const char* arrow, const char* mark) {
    const auto share = [](double v) { return v < 0 ? std::string("-") : format("%.2f", v) + "%"; };
    std::string cell = share(m.base) + arrow + share(m.current);
    if (m.base >= 0 && m.current >= 0) {
        const double points = m.current - m.base;
        cell += " (" + std::string(points >= 0 ? "+" : "") + format("%.2f", points) + " pt)";
    }
    return m.regression ? cell + mark : cell;
}

std::string quantileCell(const ComparedMeasure& m, const char* arrow, const char* mark) {
    const auto ms = [](double v) { return v < 0 ? std::string("-") : format("%.1f", v); };
    std::string cell = ms(m.base) + arrow + ms(m.current);
    if (m.hasChangePercent()) cell += " (" + signedPercent(m.changePercent()) + ")";
    return m.regression ? cell + mark : cell;
}

std::string verdictCell(const ComparisonRow& row) {
    if (row.regression()) return "REGRESSION";
    if (!row.inBase) return "new";
    if (!row.inCurrent) return "gone";
    return "ok";
}

// The cells of every row: name, count, errors, p50, p95, p99, verdict.
std::vector<std::vector<std::string>> cells(const Comparison& c, const char* arrow,
                                            const char* mark,
                                            std::string (*name)(std::string_view)) {
    std::vector<std::vector<std::string>> rows;
    for (const ComparisonRow& row : c.rows) {
        std::vector<std::string> r{name(comparedName(row)), countCell(row, arrow),
                                   errorCell(row.errorShare, arrow, mark)};
        for (const ComparedMeasure& q : row.quantiles) r.push_back(quantileCell(q, arrow, mark));
        r.push_back(verdictCell(row));
        rows.push_back(std::move(r));
    }
    return rows;
}

const std::vector<std::string> kHeadings{"Request", "Count",  "Errors", "p50 ms",
                                         "p95 ms",  "p99 ms", "Verdict"};

}  // namespace

std::string comparisonLimitsText(const RegressionLimits& l) {
    return "a regression: up by more than " + format("%g", l.percent) + "% and by more than " +
           format("%g", l.latencyMs) + " ms (percentiles) or " + format("%g", l.errorPoints) +
           " pt (error share)";
}

namespace {

std::string markdownCell(std::string_view s) {
    std::string out;
    for (char c : visible(s)) {
        if (c == '|' || c == '\\' || c == '`' || c == '*' || c == '_' || c == '[' || c == ']' ||
            c == '<' || c == '>' || c == '#')
            out += '\\';
        out += c;
    }
    return out;
}

// XML text: the HTML escaping (its &#39; is XML too) of what a terminal may show.
std::string xmlText(std::string_view s) {
    return htmlEscape(visible(s));
}

}  // namespace

const std::vector<std::string>& comparisonHeadings() {
    return kHeadings;
}

std::vector<std::vector<std::string>> comparisonCells(const Comparison& c, const char* arrow) {
    return cells(c, arrow, " !", visible);
}

std::string comparedName(const ComparisonRow& row) {
    return row.name.empty() ? "(all requests)" : row.name;
}

std::string comparisonTable(const Comparison& c) {
    const auto rows = cells(c, " -> ", " !", visible);
    std::vector<size_t> width;
    for (const std::string& h : kHeadings) width.push_back(columns(h));
    for (const auto& r : rows)
        for (size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], columns(r[i]));
    std::string out;
    auto line = [&](const std::vector<std::string>& r) {
        std::string text;
        for (size_t i = 0; i < r.size(); ++i) {
            text += r[i];
            if (i + 1 < r.size()) text += std::string(width[i] - columns(r[i]) + 2, ' ');
        }
        out += text + "\n";
    };
    line(kHeadings);
    for (const auto& r : rows) line(r);
    out += "\n" + comparisonVerdict(c) + " (" + comparisonLimitsText(c.limits) + ")\n";
    return out;
}

std::string comparisonMarkdown(const Comparison& c) {
    const auto rows = cells(c, " → ", " ⚠️", markdownCell);
    std::string out = "| " + kHeadings[0];
    for (size_t i = 1; i < kHeadings.size(); ++i) out += " | " + kHeadings[i];
    out += " |\n|---|---:|---:|---:|---:|---:|---|\n";
    for (const auto& r : rows) {
        out += "|";
        for (size_t i = 0; i < r.size(); ++i)
            out += " " + (i + 1 == r.size() && r[i] == "REGRESSION" ? "**" + r[i] + "**" : r[i]) +
                   " |";
        out += "\n";
    }
    out +=
        "\n" + markdownCell(comparisonVerdict(c)) + " (" + comparisonLimitsText(c.limits) + ")\n";
    return out;
}

std::string comparisonJunit(const Comparison& c) {
    const int failures = c.regressions();
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites name=\"velkrun compare\" tests=\"" + std::to_string(c.rows.size()) +
           "\" failures=\"" + std::to_string(failures) + "\">\n";
    out += "  <testsuite name=\"velkrun compare\" tests=\"" + std::to_string(c.rows.size()) +
           "\" failures=\"" + std::to_string(failures) + "\" errors=\"0\" skipped=\"0\">\n";
    const auto rows = cells(c, " -> ", " !", visible);
    for (size_t i = 0; i < c.rows.size(); ++i) {
        const ComparisonRow& row = c.rows[i];
        out +=
            "    <testcase classname=\"velk.compare\" name=\"" + xmlText(comparedName(row)) + "\"";
        std::string details;
        for (size_t k = 1; k + 1 < kHeadings.size(); ++k)
            details += kHeadings[k] + ": " + rows[i][k] + "\n";
        if (!row.regression()) {
            out += ">\n      <system-out>" + xmlText(details) + "</system-out>\n    </testcase>\n";
            continue;
        }
        out += ">\n      <failure message=\"" + xmlText(row.regressionText()) +
               "\" type=\"regression\">" + xmlText(details + comparisonLimitsText(c.limits)) +
               "</failure>\n    </testcase>\n";
    }
    out += "  </testsuite>\n</testsuites>\n";
    return out;
}

std::string comparisonText(const Comparison& c, ComparisonFormat f) {
    switch (f) {
        case ComparisonFormat::Markdown:
            return comparisonMarkdown(c);
        case ComparisonFormat::Junit:
            return comparisonJunit(c);
        case ComparisonFormat::Table:
            break;
    }
    return comparisonTable(c);
}

std::string comparisonVerdict(const Comparison& c) {
    const int n = c.regressions();
    if (n == 0) return "no regression";
    std::string text = std::to_string(n) + (n == 1 ? " regression: " : " regressions: ");
    bool first = true;
    for (const ComparisonRow& row : c.rows) {
        if (!row.regression()) continue;
        text += (first ? "" : "; ") + visible(comparedName(row)) + " " + row.regressionText();
        first = false;
    }
    return text;
}

}  // namespace velk::results
