// Point files: one point per line as "x y z"; blank lines and lines that
// start with # are skipped.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ex {

// Appends the points of the file to pts (three doubles each); returns false,
// after a message, when the file cannot be read or a line is not a point.
inline bool read_points(const std::string& path, std::vector<double>& pts) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream s(line);
        double x = 0.0, y = 0.0, z = 0.0;
        std::string rest;
        if (!(s >> x >> y >> z) || (s >> rest)) {
            std::fprintf(stderr, "%s:%d: not a point \"x y z\"\n", path.c_str(), number);
            return false;
        }
        pts.insert(pts.end(), {x, y, z});
    }
    return true;
}

}  // namespace ex
