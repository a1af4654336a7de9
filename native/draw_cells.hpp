#pragma once

// Unit cells of the plane, for finding what lies near a point without
// looking at everything (coordinates are checked finite and moderate first).

#include <cmath>
#include <cstddef>
#include <functional>
#include <unordered_map>
#include <vector>

#include "draw.hpp"

namespace draw {

struct Cell {
    long long x, y;
    bool operator==(const Cell& other) const { return x == other.x && y == other.y; }
};

inline Cell cell_of(Point p) { return {static_cast<long long>(std::floor(p.x)), static_cast<long long>(std::floor(p.y))}; }

inline Point middle_of(Point a, Point b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

struct CellHash {
    std::size_t operator()(const Cell& c) const { return std::hash<long long>()(c.x * 1000003LL + c.y); }
};

template <class T>
using Cells = std::unordered_map<Cell, std::vector<T>, CellHash>;

// A segment as its start, its vector and its squared length.
struct Segment {
    double ax, ay, dx, dy, length2;
};

inline Segment as_segment(Point a, Point b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    return {a.x, a.y, dx, dy, dx * dx + dy * dy};
}

// Distance from p to the nearest of the points and segments, capped at limit.
double clearance(Point p, const std::vector<Point>& points, const std::vector<Segment>& segments,
                 double limit = 1.0);

}  // namespace draw
