#include "app/results/summary_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velk::results {
namespace {

int64_t errorCount(const LatencyFigures& f) {
    int64_t all = 0;
    for (int64_t e : f.errors) all += e;
    return all;
}

SummaryCell countCell(int64_t n) {
    return {std::to_string(n), double(n)};
}

SummaryCell timeCell(double ms) {
    return {millisecondsText(ms), ms};
}

// The first n characters of UTF-8 text, and whether there were more.
std::string utf8Prefix(const std::string& text, size_t n, bool& more) {
    size_t i = 0;
    for (size_t seen = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80 && seen++ == n) break;
    more = i < text.size();
    return text.substr(0, i);
}

SummaryCell nameCell(const LatencyFigures& f, bool overall) {
    if (overall) return {"All requests", 0};
    bool more = false;
    std::string text = utf8Prefix(f.name, kMaxSummaryName, more);
    if (more) text = utf8Prefix(text, kMaxSummaryName - 3, more) + "...";
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return {text, 0};
}

std::string textOf(const SummaryTable& table) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : table.rows) {
        rows.emplace_back();
        for (const SummaryCell& cell : row) rows.back().push_back(cell.text);
    }
    return tabSeparated(table.headers, rows);
}

template <typename Row>
SummaryTable table(const PassFigures& figures, std::vector<std::string> headers, Row&& row) {
    SummaryTable t;
    t.headers = std::move(headers);
    for (const LatencyFigures& f : figures.requests) t.rows.push_back(row(f, false));
    t.rows.push_back(row(figures.overall, true));
    return t;
}

}  // namespace

std::string millisecondsText(double ms) {
    if (!std::isfinite(ms)) return "-";
    // The engine's times are whole microseconds; a mean is not, and keeps
    // its fraction.
    double micros = ms * 1000;
    const double whole = std::round(micros);
    if (std::fabs(micros - whole) < 1e-6 * std::max(1.0, std::fabs(micros))) micros = whole;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", micros * 0.001);
    return text;
}

SummaryTable responseTimeTable(const PassFigures& figures) {
    return table(
        figures,
        {"Request", "Count", "Errors", "Min", "Mean", "p50", "p90", "p95", "p99", "p99.9", "Max"},
        [](const LatencyFigures& f, bool overall) {
            std::vector<SummaryCell> row{nameCell(f, overall), countCell(f.count),
                                         countCell(errorCount(f)), timeCell(f.minMs),
                                         timeCell(f.meanMs)};
            for (double p : f.percentilesMs) row.push_back(timeCell(p));
            row.push_back(timeCell(f.maxMs));
            return row;
        });
}

SummaryTable intendedStartTable(const PassFigures& figures) {
    return table(figures, {"Request", "Count", "p50", "p90", "p95", "p99", "p99.9", "Max"},
                 [](const LatencyFigures& f, bool overall) {
                     std::vector<SummaryCell> row{nameCell(f, overall), countCell(f.intendedCount)};
                     for (double p : f.intendedPercentilesMs) row.push_back(timeCell(p));
                     row.push_back(timeCell(f.intendedMaxMs));
                     return row;
                 });
}

std::string summaryText(const std::optional<PassFigures>& figures) {
    if (!figures) return kNoPercentiles;
    std::string text = textOf(responseTimeTable(*figures));
    if (figures->overall.paced)
        text +=
            "\nFrom the intended start (paced requests)\n" + textOf(intendedStartTable(*figures));
    return text;
}

std::string tabSeparated(const std::vector<std::string>& headers,
                         const std::vector<std::vector<std::string>>& rows) {
    std::string out;
    const auto line = [&out](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) out += '\t';
            for (char c : cells[i]) out += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
        }
        out += '\n';
    };
    line(headers);
    for (const auto& row : rows) line(row);
    return out;
}

}  // namespace velk::results
