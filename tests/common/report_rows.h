#pragma once
// The rows of individual times of a text report, reduced to what two runs of
// the same test share: user/iteration and, per cell, "time" or the error
// symbol it shows.
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

namespace velk::test {

inline std::vector<std::string> rowShapes(const std::string& report) {
    std::vector<std::string> rows;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 10 || line[3] != '/') continue;
        std::string shape = line.substr(0, 9);
        for (size_t tab = line.find('\t'); tab != std::string::npos;
             tab = line.find('\t', tab + 1)) {
            const std::string cell = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
            if (!cell.empty())
                shape += std::isdigit(static_cast<unsigned char>(cell[0])) ? "|time" : "|" + cell;
        }
        rows.push_back(shape);
    }
    return rows;
}

}  // namespace velk::test
