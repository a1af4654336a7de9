// Directions around an atom, distances, and the check of a drawing's rules.
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "draw.hpp"
#include "draw_cells.hpp"

namespace draw {

double py_mod(double a, double b) {
    double mod = std::fmod(a, b);
    if (mod != 0) {
        if ((b < 0) != (mod < 0)) mod += b;
    } else {
        mod = std::copysign(0.0, b);
    }
    return mod;
}

double angle_to(Point a, Point b) { return std::atan2(b.y - a.y, b.x - a.x); }

Point step(Point a, double angle, double length) {
    return {a.x + length * std::cos(angle), a.y + length * std::sin(angle)};
}

namespace {

// NaN last: a strict weak order whatever the values.
bool before(double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); }

}  // namespace

std::vector<Gap> angular_gaps(const std::vector<double>& angles) {
    if (angles.empty()) return {{PI / 2, TAU}};
    std::vector<double> ordered;
    for (double a : angles) ordered.push_back(py_mod(a, TAU));
    std::sort(ordered.begin(), ordered.end(), before);
    std::vector<Gap> gaps;
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        double size = py_mod(ordered[(i + 1) % ordered.size()] - ordered[i], TAU);
        gaps.push_back({ordered[i], size != 0 ? size : TAU});
    }
    std::stable_sort(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) { return before(b.size, a.size); });
    return gaps;
}

std::vector<double> spread(const std::vector<Gap>& gaps, int count, double squeeze) {
    std::vector<int> shares(gaps.size(), 0);
    auto room = [&](std::size_t g) { return gaps[g].size / (shares[g] + 1) + 0.1 * gaps[g].size; };
    for (int k = 0; k < count && !gaps.empty(); ++k) {
        // Near ties go to the wider gap: both hydrogens of a ring CH2 outside the ring.
        std::size_t best = 0;
        for (std::size_t g = 1; g < gaps.size(); ++g)
            if (room(g) > room(best)) best = g;
        ++shares[best];
    }
    std::vector<double> directions;
    for (std::size_t g = 0; g < gaps.size(); ++g) {
        double middle = gaps[g].start + gaps[g].size / 2;
        double gap_step = gaps[g].size / (shares[g] + 1) * squeeze;
        for (int t = 0; t < shares[g]; ++t) directions.push_back(middle + (t - (shares[g] - 1) / 2.0) * gap_step);
    }
    return directions;
}

double clearance(Point p, const std::vector<Point>& points, const std::vector<Segment>& segments, double limit) {
    double best2 = limit * limit;
    for (const Point& q : points) {
        double d2 = (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y);
        if (d2 < best2) best2 = d2;
    }
    for (const Segment& s : segments) {
        double t = s.length2 != 0 ? ((p.x - s.ax) * s.dx + (p.y - s.ay) * s.dy) / s.length2 : 0.0;
        t = t < 0 ? 0.0 : t > 1 ? 1.0 : t;
        double ex = p.x - s.ax - t * s.dx, ey = p.y - s.ay - t * s.dy;
        double d2 = ex * ex + ey * ey;
        if (d2 < best2) best2 = d2;
    }
    return std::sqrt(best2);
}

namespace {

unsigned long long pair_key(int i, int j) {
    return (static_cast<unsigned long long>(static_cast<unsigned>(i)) << 32) | static_cast<unsigned>(j);
}

// Whether p lies within 0.42 of the bond a-b (checked cheaply by its box first).
bool beside(Point p, Point a, Point b) {
    bool near = std::min(a.x, b.x) - 0.42 < p.x && p.x < std::max(a.x, b.x) + 0.42 &&
                std::min(a.y, b.y) - 0.42 < p.y && p.y < std::max(a.y, b.y) + 0.42;
    return near && clearance(p, {}, {as_segment(a, b)}) < 0.42;
}

}  // namespace

bool crowded(const std::vector<Point>& points, const std::vector<Bond>& bonds) {
    std::unordered_set<unsigned long long> bonded;
    Cells<int> point_cells;
    Cells<Bond> bond_cells;
    for (const auto& [i, j] : bonds) {
        Point a = points[i], b = points[j];
        if (std::fabs(std::hypot(b.x - a.x, b.y - a.y) - 1) > 0.09) return true;
        bonded.insert(pair_key(i, j));
        bonded.insert(pair_key(j, i));
        bond_cells[cell_of(middle_of(a, b))].push_back({i, j});
    }
    for (int i = 0; i < static_cast<int>(points.size()); ++i) point_cells[cell_of(points[i])].push_back(i);
    for (int i = 0; i < static_cast<int>(points.size()); ++i) {
        Point p = points[i];
        Cell c = cell_of(p);
        for (long long x = c.x - 1; x <= c.x + 1; ++x)
            for (long long y = c.y - 1; y <= c.y + 1; ++y) {
                if (auto found = point_cells.find({x, y}); found != point_cells.end())
                    for (int j : found->second) {
                        Point q = points[j];
                        double d2 = (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y);
                        if (d2 < 0.55 * 0.55 && j != i && !bonded.count(pair_key(i, j))) return true;
                    }
                if (auto found = bond_cells.find({x, y}); found != bond_cells.end())
                    for (const auto& [a, b] : found->second)
                        if (i != a && i != b && beside(p, points[a], points[b])) return true;
            }
    }
    return false;
}

}  // namespace draw
