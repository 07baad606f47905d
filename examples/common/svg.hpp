// A small SVG writer for the demonstration's plot: panels with axes, ticks
// and labels, polylines, markers, bars and text.  Coordinates are written
// with two decimals, so the file is the same wherever it is made.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace ex {

class Svg {
public:
    Svg(double width, double height) : width_(width), height_(height) {}

    void line(double x1, double y1, double x2, double y2, const char* style) {
        add("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" style=\"%s\"/>\n", x1, y1, x2, y2, style);
    }
    void rect(double x, double y, double w, double h, const char* style) {
        add("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" style=\"%s\"/>\n", x, y, w, h, style);
    }
    void circle(double x, double y, double r, const char* style) {
        add("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" style=\"%s\"/>\n", x, y, r, style);
    }
    void polyline(const std::vector<std::pair<double, double>>& pts, const char* style) {
        body_ += "<polyline style=\"";
        body_ += style;
        body_ += "\" points=\"";
        for (const auto& [x, y] : pts) add("%.2f,%.2f ", x, y);
        body_ += "\"/>\n";
    }
    // anchor: "start", "middle" or "end"; rotate: degrees about (x, y).
    void text(double x, double y, const std::string& s, const char* anchor = "start", double size = 12,
              double rotate = 0.0, const char* weight = "normal") {
        add("<text x=\"%.2f\" y=\"%.2f\" font-size=\"%.0f\" font-weight=\"%s\" text-anchor=\"%s\"", x, y, size, weight,
            anchor);
        if (rotate != 0.0) add(" transform=\"rotate(%.0f %.2f %.2f)\"", rotate, x, y);
        body_ += '>';
        body_ += escape(s);
        body_ += "</text>\n";
    }
    std::string str() const {
        char head[256];
        std::snprintf(head, sizeof head,
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                      "viewBox=\"0 0 %.0f %.0f\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n",
                      width_, height_, width_, height_);
        return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + head +
               "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n" + body_ + "</svg>\n";
    }

private:
    template <class... T>
    void add(const char* format, T... values) {
        char buf[512];
        std::snprintf(buf, sizeof buf, format, values...);
        body_ += buf;
    }
    static std::string escape(const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == '<') out += "&lt;";
            else if (c == '>') out += "&gt;";
            else if (c == '&') out += "&amp;";
            else out += c;
        }
        return out;
    }
    double width_, height_;
    std::string body_;
};

// Tick positions for the range [lo, hi]: multiples of 1, 2 or 5 times a
// power of ten, about five of them.
inline std::vector<double> ticks(double lo, double hi) {
    const double raw = (hi - lo) / 5.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    const double step = raw / p < 1.5 ? p : raw / p < 3.5 ? 2 * p : raw / p < 7.5 ? 5 * p : 10 * p;
    std::vector<double> t;
    for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step)
        t.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
    return t;
}

// A plotting panel: the data range [x0, x1] by [y0, y1] shown in the pixel
// rectangle at (left, top) of size w by h.
struct Panel {
    double left, top, w, h, x0, x1, y0, y1;

    double X(double x) const { return left + (x - x0) / (x1 - x0) * w; }
    double Y(double y) const { return top + h - (y - y0) / (y1 - y0) * h; }

    void axes(Svg& svg, const std::string& title, const std::string& xlabel, const std::string& ylabel) const {
        svg.rect(left, top, w, h, "fill:none;stroke:#444;stroke-width:1");
        char label[32];
        for (double t : ticks(x0, x1)) {
            svg.line(X(t), top + h, X(t), top + h + 5, "stroke:#444");
            svg.line(X(t), top, X(t), top + h, "stroke:#ddd;stroke-width:0.5");
            std::snprintf(label, sizeof label, "%g", t);
            svg.text(X(t), top + h + 18, label, "middle", 11);
        }
        for (double t : ticks(y0, y1)) {
            svg.line(left - 5, Y(t), left, Y(t), "stroke:#444");
            svg.line(left, Y(t), left + w, Y(t), "stroke:#ddd;stroke-width:0.5");
            std::snprintf(label, sizeof label, "%g", t);
            svg.text(left - 8, Y(t) + 4, label, "end", 11);
        }
        svg.text(left, top - 10, title, "start", 14, 0.0, "bold");
        svg.text(left + w / 2, top + h + 36, xlabel, "middle", 12);
        svg.text(left - 46, top + h / 2, ylabel, "middle", 12, -90.0);
    }
};

}  // namespace ex
