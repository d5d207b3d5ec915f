#pragma once
// Reads back what the tests need from a picture: the numbers of the paths of one class, subpath
// by subpath, and where the group "drawing" puts drawing coordinates on the page.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace svgtest {

/// The value of attribute `name` in the first element that holds `where`.
inline std::string attributeNear(const std::string& svg, const std::string& where, const std::string& name) {
    const std::size_t element = svg.rfind('<', svg.find(where));
    const std::size_t start = svg.find(" " + name + "=\"", element);
    if (element == std::string::npos || start == std::string::npos) return "";
    const std::size_t value = start + name.size() + 3;
    return svg.substr(value, svg.find('"', value) - value);
}

/// The numbers of every subpath (from one M to the next) of the paths of class `cls`, in order.
inline std::vector<std::vector<double>> subpathsOf(const std::string& svg, const std::string& cls) {
    std::vector<std::vector<double>> subpaths;
    const std::string head = "<path class=\"" + cls + "\"";
    for (std::size_t at = svg.find(head); at != std::string::npos; at = svg.find(head, at + 1)) {
        const std::size_t d = svg.find(" d=\"", at) + 4;
        const std::string data = svg.substr(d, svg.find('"', d) - d);
        const char* p = data.c_str();
        while (*p != '\0') {
            if (*p == 'M') {
                subpaths.emplace_back();
                ++p;
            } else if (*p == ' ' || (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')) {
                ++p;
            } else {
                char* end = nullptr;
                subpaths.back().push_back(std::strtod(p, &end));
                p = end;
            }
        }
    }
    return subpaths;
}

/// Where the group "drawing" puts a point of the drawing: page = scale * (drawing - origin) +
/// offset, with Y turned.
struct Placement {
    double scale = 0, offsetX = 0, offsetY = 0, originX = 0, originY = 0;
    double pageX(double x) const { return scale * (x - originX) + offsetX; }
    double pageY(double y) const { return -scale * (y - originY) + offsetY; }
};

inline Placement placementOf(const std::string& svg) {
    Placement p;
    const std::string matrix = attributeNear(svg, "id=\"drawing\"", "transform");
    double b = 0, c = 0, d = 0;
    std::sscanf(matrix.c_str(), "matrix(%lf %lf %lf %lf %lf %lf)", &p.scale, &b, &c, &d, &p.offsetX, &p.offsetY);
    const std::string origin = attributeNear(svg, "id=\"drawing\"", "kelmar:origin");
    std::sscanf(origin.c_str(), "%lf %lf", &p.originX, &p.originY);
    return p;
}

}  // namespace svgtest
