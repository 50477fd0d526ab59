#include "app/results/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "app/results/utf8_text.h"

namespace velk::results {
namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 280;
constexpr int kLeft = 64;
constexpr int kRight = 16;
constexpr int kTop = 34;
constexpr int kBottom = 44;

std::string num(double v, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// A round top for the axis (1, 2 or 5 times a power of ten) and its step.
void niceScale(double max, double& top, double& step) {
    if (!(max > 0) || !std::isfinite(max)) max = 1;
    const double raw = max / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    step = (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
    top = std::ceil(max / step) * step;
}

std::string label(double v) {
    if (v >= 10000) return num(v / 1000, v >= 100000 ? 0 : 1) + "k";
    return num(v, v == std::floor(v) ? 0 : (v < 1 ? 2 : 1));
}

double y(double v, double top) {
    return kTop + (kHeight - kTop - kBottom) * (1 - v / top);
}

std::string frame(double top, double step, const std::string& unit) {
    std::string s;
    for (double v = 0; v <= top + step / 2; v += step) {
        const std::string py = num(y(v, top));
        s += "<line class=\"grid\" x1=\"" + std::to_string(kLeft) + "\" x2=\"" +
             std::to_string(kWidth - kRight) + "\" y1=\"" + py + "\" y2=\"" + py + "\"/>";
        s += "<text class=\"tick\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" +
             num(y(v, top) + 4) + "\" text-anchor=\"end\">" + label(v) + "</text>";
    }
    s += "<text class=\"unit\" x=\"" + std::to_string(kLeft - 6) +
         "\" y=\"16\" text-anchor=\"end\">" + unit + "</text>";
    s += "<line class=\"axis\" x1=\"" + std::to_string(kLeft) + "\" x2=\"" +
         std::to_string(kWidth - kRight) + "\" y1=\"" + num(y(0, top)) + "\" y2=\"" +
         num(y(0, top)) + "\"/>";
    return s;
}

std::string legend(const std::vector<SvgSeries>& series) {
    std::string s;
    int x = kLeft;
    for (const SvgSeries& c : series) {
        s += "<rect x=\"" + std::to_string(x) +
             "\" y=\"8\" width=\"12\" height=\"12\" rx=\"2\" fill=\"" + c.color +
             "\"/><text class=\"legend\" x=\"" + std::to_string(x + 17) + "\" y=\"18\">" + c.label +
             "</text>";
        x += 30 + int(c.label.size()) * 7;
    }
    return s;
}

std::string open() {
    return "<svg viewBox=\"0 0 " + std::to_string(kWidth) + " " + std::to_string(kHeight) +
           "\" role=\"img\">";
}

double maxOf(const std::vector<SvgSeries>& series) {
    double max = 0;
    for (const SvgSeries& c : series)
        for (double v : c.values) max = std::max(max, std::isfinite(v) ? v : 0);
    return max;
}

}  // namespace

std::string cutText(const std::string& text, size_t characters) {
    size_t i = 0, n = 0;
    while (i < text.size() && n + 1 < characters) {
        i += std::max<size_t>(utf8SequenceLength(text, i), 1);
        ++n;
    }
    return i >= text.size() ? htmlEscape(text) : htmlEscape(text.substr(0, i)) + "&#8230;";
}

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const size_t n = utf8SequenceLength(text, i);
        if (n == 0) {
            out += "&#xFFFD;";
            ++i;
            continue;
        }
        if (n == 1) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&#39;";
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                        out += "&#xFFFD;";
                    else
                        out += c;
            }
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

std::string svgBarChart(const std::vector<std::string>& rawGroups,
                        const std::vector<SvgSeries>& series, const std::string& unit) {
    std::vector<std::string> groups;
    for (const std::string& g : rawGroups) groups.push_back(htmlEscape(g));
    double top, step;
    niceScale(maxOf(series) * 1.05, top, step);
    std::string s = open() + frame(top, step, unit) + legend(series);
    const double plot = kWidth - kLeft - kRight;
    const double groupWidth = groups.empty() ? plot : plot / double(groups.size());
    const double barWidth =
        std::min(28.0, groupWidth * 0.8 / double(std::max<size_t>(series.size(), 1)));
    for (size_t g = 0; g < groups.size(); ++g) {
        const double left =
            kLeft + g * groupWidth + (groupWidth - barWidth * double(series.size())) / 2;
        for (size_t k = 0; k < series.size(); ++k) {
            const double v = g < series[k].values.size() ? series[k].values[g] : 0;
            const double top_y = y(std::max(v, 0.0), top);
            s += "<rect x=\"" + num(left + k * barWidth) + "\" y=\"" + num(top_y) + "\" width=\"" +
                 num(std::max(barWidth - 2, 1.0)) + "\" height=\"" + num(y(0, top) - top_y) +
                 "\" fill=\"" + series[k].color + "\"><title>" + groups[g] + " " + series[k].label +
                 ": " + num(v, 2) + " " + unit + "</title></rect>";
        }
        // Long names are cut on the axis; the tip and the table show them whole.
        const std::string name = cutText(rawGroups[g], size_t(std::max(4.0, groupWidth / 7)));
        s += "<text class=\"tick\" x=\"" + num(kLeft + (g + 0.5) * groupWidth) + "\" y=\"" +
             std::to_string(kHeight - kBottom + 18) + "\" text-anchor=\"middle\">" + name +
             "</text>";
    }
    return s + "</svg>";
}

std::string svgLineChart(const std::vector<SvgSeries>& series, double spanSeconds,
                         const std::string& unit, bool step) {
    double top, tick;
    niceScale(maxOf(series) * 1.05, top, tick);
    std::string s = open() + frame(top, tick, unit) + legend(series);
    size_t points = 0;
    for (const SvgSeries& c : series) points = std::max(points, c.values.size());
    const double seconds = std::max(1.0, double(points) * spanSeconds);
    const double plot = kWidth - kLeft - kRight;
    auto x = [&](double t) { return kLeft + plot * t / seconds; };
    // Time axis: about six round ticks.
    double timeTop, timeStep;
    niceScale(seconds, timeTop, timeStep);
    for (double t = 0; t <= seconds + 1e-9; t += timeStep)
        s += "<text class=\"tick\" x=\"" + num(x(t)) + "\" y=\"" +
             std::to_string(kHeight - kBottom + 18) + "\" text-anchor=\"middle\">" + label(t) +
             "</text>";
    s += "<text class=\"unit\" x=\"" + std::to_string(kWidth - kRight) + "\" y=\"" +
         std::to_string(kHeight - 6) + "\" text-anchor=\"end\">seconds into the run</text>";
    for (const SvgSeries& c : series) {
        std::string path;
        for (size_t i = 0; i < c.values.size(); ++i) {
            const double v = std::max(c.values[i], 0.0);
            const std::string py = num(y(v, top));
            if (step) {
                path += (i == 0 ? "M" : "L") + num(x(i * spanSeconds)) + " " + py + " L" +
                        num(x((i + 1) * spanSeconds)) + " " + py + " ";
            } else {
                path += (i == 0 ? "M" : "L") + num(x((i + 0.5) * spanSeconds)) + " " + py + " ";
            }
        }
        if (path.empty()) continue;
        s += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + c.color +
             "\" stroke-width=\"2\" stroke-linejoin=\"round\"/>";
        // Tips on the points, when there are few enough to hover.
        if (c.values.size() <= 600)
            for (size_t i = 0; i < c.values.size(); ++i)
                s += "<circle cx=\"" + num(x((i + 0.5) * spanSeconds)) + "\" cy=\"" +
                     num(y(std::max(c.values[i], 0.0), top)) + "\" r=\"3\" fill=\"" + c.color +
                     "\" fill-opacity=\"0\"><title>" + label(i * spanSeconds) +
                     " s: " + num(c.values[i], 1) + " " + c.label + "</title></circle>";
    }
    return s + "</svg>";
}

}  // namespace velk::results
