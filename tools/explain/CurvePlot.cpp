#include "tools/explain/CurvePlot.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "models/fast/FastSearch.h"
#include "runtime/Runtime.h"
#include "tools/explain/ExplanationText.h"

#ifdef DODOZ_HAVE_CAIRO
#include <cairo-svg.h>
#include <cairo.h>

namespace {

struct Frame {
    double left = 80, right = kPlotWidth - 30, top = 50, bottom = kPlotHeight - 70;
    double cFrom = 0, cTo = 3, rateTo = 100;

    double x(double c) const { return left + (c - cFrom) / (cTo - cFrom) * (right - left); }
    double y(double rate) const { return bottom - std::min(rate, rateTo) / rateTo * (bottom - top); }
};

void label(cairo_t* cr, double x, double y, const std::string& text, double anchor = 0.0)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - anchor * extents.width, y);
    cairo_show_text(cr, text.c_str());
}

void axes(cairo_t* cr, const Frame& f)
{
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 13);
    cairo_set_line_width(cr, 1);
    for (int t = 0; t <= 10; ++t) {
        const double rate = f.rateTo * t / 10, c = f.cFrom + (f.cTo - f.cFrom) * t / 10;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, f.left, f.y(rate));
        cairo_line_to(cr, f.right, f.y(rate));
        cairo_move_to(cr, f.x(c), f.top);
        cairo_line_to(cr, f.x(c), f.bottom);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        label(cr, f.left - 8, f.y(rate) + 4, shown(rate, 1) + " %", 1.0);
        label(cr, f.x(c), f.bottom + 18, gridC(c), 0.5);
    }
    cairo_rectangle(cr, f.left, f.top, f.right - f.left, f.bottom - f.top);
    cairo_stroke(cr);
    label(cr, (f.left + f.right) / 2, f.bottom + 40, "c (window width = c * deviation)", 0.5);
}

void curve(cairo_t* cr, const Frame& f, const SearchCurve& s, bool strict)
{
    bool drawing = false;
    for (std::size_t g = 0; g < s.grid.size(); ++g) {
        const bool has = !strict || s.undecided[g] == 0;
        const double rate = strict ? s.criterion[g] * 100 : s.errorRate(g) * 100;
        if (has && drawing)
            cairo_line_to(cr, f.x(s.grid[g]), f.y(rate));
        else if (has)
            cairo_move_to(cr, f.x(s.grid[g]), f.y(rate));
        drawing = has;
    }
    cairo_stroke(cr);
}

void marker(cairo_t* cr, const Frame& f, double c, const std::string& text, double line)
{
    cairo_move_to(cr, f.x(c), f.top);
    cairo_line_to(cr, f.x(c), f.bottom);
    cairo_stroke(cr);
    label(cr, f.x(c) + 4, f.top + line, text);
}

// The rates near the minimum are what the picture is for: the axis ends a little above
// the strict criterion's highest value and well above the lowest rate, and higher rates
// are drawn along the top edge.
double rateAxis(const SearchCurve& s, std::size_t lowest)
{
    double strictHighest = 0;
    for (std::size_t g = 0; g < s.grid.size(); ++g) {
        if (s.undecided[g] == 0)
            strictHighest = std::max(strictHighest, s.criterion[g] * 100);
    }
    const double wanted = std::max({5.0, 4 * s.errorRate(lowest) * 100, 1.3 * strictHighest});
    return std::min(100.0, std::ceil(wanted / 5) * 5);
}

void legend(cairo_t* cr, const Frame& f, const Explanation& e)
{
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 15);
    label(cr, f.left, 22, "Task " + std::to_string(e.key) + ": leave-one-out error rate against c");
    cairo_set_font_size(cr, 12);
    cairo_set_source_rgb(cr, 0.15, 0.35, 0.8);
    label(cr, f.left, 40, "undecided rows counted as errors");
    cairo_set_source_rgb(cr, 0.9, 0.5, 0.1);
    label(cr, f.left + 225, 40, "the search's strict criterion (only where every row is decided)");
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    label(cr, f.right, 40, "rates above " + shown(f.rateTo, 0) + " % at the top", 1.0);
}

void lowestPoint(cairo_t* cr, const Frame& f, const Explanation& e)
{
    const SearchCurve& s = e.curve;
    const double x = f.x(s.grid[e.lowest]), y = f.y(s.errorRate(e.lowest) * 100);
    cairo_set_source_rgb(cr, 0.15, 0.35, 0.8);
    cairo_arc(cr, x, y, 4, 0, 2 * M_PI);
    cairo_fill(cr);
    std::string text = "lowest " + shown(s.errorRate(e.lowest) * 100, 2) + " % at c = " + gridC(s.grid[e.lowest]);
    if (e.lowestLast != e.lowest)
        text += " to " + gridC(s.grid[e.lowestLast]);
    label(cr, x, y + 22, text, 0.5);
}

void draw(cairo_t* cr, const Explanation& e)
{
    const SearchCurve& s = e.curve;
    Frame f;
    f.cFrom = 0;
    f.cTo = s.grid.back();
    f.rateTo = rateAxis(s, e.lowest);
    axes(cr, f);
    cairo_set_line_width(cr, 2);
    cairo_set_source_rgb(cr, 0.15, 0.35, 0.8);
    curve(cr, f, s, false);
    cairo_set_source_rgb(cr, 0.9, 0.5, 0.1);
    curve(cr, f, s, true);
    cairo_set_line_width(cr, 1.5);
    if (e.found) {
        cairo_set_source_rgb(cr, 0.8, 0.1, 0.1);
        marker(cr, f, e.cMin, "c_min " + gridC(e.cMin), 32);
    }
    if (e.covering != FastSearch::npos) {
        const double dash[] = {6, 6};
        cairo_set_source_rgb(cr, 0.1, 0.6, 0.2);
        cairo_set_dash(cr, dash, 2, 0);
        marker(cr, f, s.grid[e.covering], "covering limit " + gridC(s.grid[e.covering]), 16);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    lowestPoint(cr, f, e);
    legend(cr, f, e);
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

void check(cairo_status_t status, const std::string& path)
{
    if (status != CAIRO_STATUS_SUCCESS)
        throw Exception("cannot write the picture " + path + ": " + cairo_status_to_string(status));
}

}  // namespace

bool canPlot()
{
    return true;
}

void plotCurve(const Explanation& e, const std::string& path)
{
    const bool svg = path.ends_with(".svg") || path.ends_with(".SVG");
    if (!svg && !path.ends_with(".png") && !path.ends_with(".PNG"))
        throw Exception("the picture " + path + " needs a name ending in .png or .svg");
    Surface surface(svg ? cairo_svg_surface_create(path.c_str(), kPlotWidth, kPlotHeight)
                        : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight),
                    cairo_surface_destroy);
    check(cairo_surface_status(surface.get()), path);
    {
        Context cr(cairo_create(surface.get()), cairo_destroy);
        draw(cr.get(), e);
        check(cairo_status(cr.get()), path);
    }
    if (!svg)
        check(cairo_surface_write_to_png(surface.get(), path.c_str()), path);
    cairo_surface_finish(surface.get());
    check(cairo_surface_status(surface.get()), path);
}

#else

bool canPlot()
{
    return false;
}

void plotCurve(const Explanation&, const std::string& path)
{
    throw Exception("this dodoz-explain was built without cairo and cannot draw " + path +
                    " (install libcairo2-dev and build again); --curve FILE.csv gives the curve's numbers");
}

#endif
