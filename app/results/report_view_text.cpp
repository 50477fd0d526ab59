#include "app/results/report_view_text.h"

namespace velk::results {
namespace {

// The longest prefix of at most max bytes that ends on a character boundary.
std::string_view cutAt(std::string_view text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) --end;
    return text.substr(0, end);
}

void appendLine(std::string& out, std::string_view line) {
    const std::string_view kept = cutAt(line, kMaxShownLineBytes);
    out.append(kept);
    if (kept.size() < line.size()) out.append(kCutMark);
}

}  // namespace

std::string reportTextForView(std::string_view report) {
    std::string out;
    out.reserve(report.size());
    size_t start = 0;
    while (start < report.size()) {
        const size_t end = report.find('\n', start);
        std::string_view line =
            report.substr(start, end == std::string_view::npos ? end : end - start);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        appendLine(out, line);
        if (end == std::string_view::npos) break;
        out.push_back('\n');
        start = end + 1;
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
