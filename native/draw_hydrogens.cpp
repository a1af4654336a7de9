// Hydrogens placed around the laid-out frame: each parent's hydrogens go into
// its widest free sectors at one bond length, in the arrangement (evenly
// spread, or drawn closer to the sector's middle, or in another sector) that
// keeps them clearest of everything already drawn; crowded parents are placed
// once more when all their neighbours' hydrogens are there.
#include <algorithm>
#include <cmath>

#include "draw.hpp"
#include "draw_cells.hpp"

namespace draw {

namespace {

// Hydrogens at least this far from every other atom and bond need no second look.
constexpr double CLEAR = 0.62;
constexpr double DEGREE = PI / 180.0;
constexpr double NEAREST_TO_BOND = 35 * DEGREE;
constexpr double TURNS[] = {0.0, 15 * DEGREE, -15 * DEGREE, 30 * DEGREE, -30 * DEGREE,
                            45 * DEGREE, -45 * DEGREE, 60 * DEGREE, -60 * DEGREE};

using Directions = std::vector<double>;

double min_separation(double angle, const std::vector<double>& others) {
    double least = INFINITY;
    for (double other : others) least = std::min(least, std::fabs(py_mod(angle - other + PI, TAU) - PI));
    return least;
}

// Candidate directions for `count` hydrogens, the preferred first: spread
// evenly or drawn in, then turned a little either way, never nearer than 35
// degrees to one of the parent's frame bonds. Each goes to try(directions),
// until it returns true (good enough).
template <class Try>
void arrangements(const std::vector<double>& frame_angles, int count, Try try_one) {
    Directions directions;
    if (frame_angles.empty()) {
        // Alone: one to the right, two bent below (as water is drawn), more evenly round.
        double first = count == 1 ? 0.0 : count == 2 ? -5 * PI / 6 : PI / 2;
        double turn = count != 2 ? 2 * PI / count : 2 * PI / 3;
        for (int k = 0; k < count; ++k) directions.push_back(first + k * turn);
        try_one(directions);
        return;
    }
    if (count == 1 && frame_angles.size() == 1) {
        // A bent end (C-O-H) on either side before a straight one.
        if (try_one(Directions{frame_angles[0] + 2 * PI / 3}) || try_one(Directions{frame_angles[0] - 2 * PI / 3}))
            return;
    }
    std::vector<Gap> gaps = angular_gaps(frame_angles);
    bool two_and_two = frame_angles.size() == 2 && count == 2;
    const double squeezes[2][4] = {{1.0, 0.75, 0.55, 0.4}, {0.75, 1.0, 0.55, 0.4}};
    Directions spreads[4];
    for (int k = 0; k < 4; ++k) spreads[k] = spread(gaps, count, squeezes[two_and_two][k]);
    for (double turn : TURNS)
        for (const Directions& base : spreads) {
            directions.clear();
            bool clear_of_bonds = true;
            for (double a : base) {
                directions.push_back(a + turn);
                clear_of_bonds = clear_of_bonds && min_separation(a + turn, frame_angles) >= NEAREST_TO_BOND;
            }
            if ((turn == 0 || clear_of_bonds) && try_one(directions)) return;
        }
    if (count == 1 && frame_angles.size() >= 3)
        // At a ring fusion every sector is a ring's inside: try the others too.
        for (std::size_t g = 1; g < gaps.size(); ++g)
            if (try_one(Directions{gaps[g].start + gaps[g].size / 2})) return;
}

struct Drawn {
    int i, j;
    Point a, b;
    bool operator==(const Drawn& other) const {
        return i == other.i && j == other.j && a.x == other.a.x && a.y == other.a.y && b.x == other.b.x && b.y == other.b.y;
    }
};

struct Keyed {
    int key;
    Point p;
    bool operator==(const Keyed& other) const { return key == other.key && p.x == other.p.x && p.y == other.p.y; }
};

template <class T>
void remove_one(Cells<T>& cells, Cell cell, const T& item) {
    auto found = cells.find(cell);
    if (found == cells.end()) return;
    auto at = std::find(found->second.begin(), found->second.end(), item);
    if (at != found->second.end()) found->second.erase(at);
}

// Points and bonds drawn so far, by unit cell (bonds by their middle).
struct Grid {
    Cells<Keyed> points;
    Cells<Drawn> bonds;

    void add_point(int key, Point p) { points[cell_of(p)].push_back({key, p}); }
    void remove_point(int key, Point p) { remove_one(points, cell_of(p), {key, p}); }
    void add_bond(int i, int j, Point a, Point b) { bonds[cell_of(middle_of(a, b))].push_back({i, j, a, b}); }
    void remove_bond(int i, int j, Point a, Point b) { remove_one(bonds, cell_of(middle_of(a, b)), {i, j, a, b}); }

    // The points and bonds within two cells of p that are not owner's: enough
    // to judge any spot one bond length from p.
    void around(Point p, int owner, std::vector<Point>& near_points, std::vector<Segment>& near_bonds) const {
        Cell c = cell_of(p);
        for (long long x = c.x - 2; x <= c.x + 2; ++x)
            for (long long y = c.y - 2; y <= c.y + 2; ++y) {
                if (auto found = points.find({x, y}); found != points.end())
                    for (const Keyed& k : found->second)
                        if (k.key != owner) near_points.push_back(k.p);
                if (auto found = bonds.find({x, y}); found != bonds.end())
                    for (const Drawn& d : found->second)
                        if (d.i != owner && d.j != owner) near_bonds.push_back(as_segment(d.a, d.b));
            }
    }
};

struct Placing {
    const std::vector<std::vector<int>>& neighbours;
    std::vector<Point> at;
    std::vector<bool> placed;
    std::vector<int> order;  // the hydrogens, as first placed
    Grid grid;
    std::vector<Point> near_points;  // kept from call to call for their room
    std::vector<Segment> near_bonds;

    void put(int atom, Point p) {
        if (!placed[atom]) order.push_back(atom);
        placed[atom] = true;
        at[atom] = p;
    }

    // Places the parent's hydrogens; returns the clearance they were given.
    double around(int parent, const std::vector<int>& hydrogens) {
        Point centre = at[parent];
        std::vector<double> frame_angles;
        for (int j : neighbours[parent])
            if (placed[j] && std::find(hydrogens.begin(), hydrogens.end(), j) == hydrogens.end())
                frame_angles.push_back(angle_to(centre, at[j]));
        near_points.clear();
        near_bonds.clear();
        grid.around(centre, parent, near_points, near_bonds);
        Directions best;
        double best_clearance = -1.0;
        arrangements(frame_angles, static_cast<int>(hydrogens.size()), [&](const Directions& directions) {
            double least = INFINITY;
            for (double a : directions) least = std::min(least, clearance(step(centre, a), near_points, near_bonds));
            if (least > best_clearance + 1e-6) {
                best = directions;
                best_clearance = least;
            }
            return least >= CLEAR;
        });
        for (std::size_t k = 0; k < hydrogens.size() && k < best.size(); ++k) {
            put(hydrogens[k], step(centre, best[k]));
            grid.add_point(hydrogens[k], at[hydrogens[k]]);
            grid.add_bond(parent, hydrogens[k], centre, at[hydrogens[k]]);
        }
        return best_clearance;
    }

    double again(int parent, const std::vector<int>& hydrogens) {
        for (int h : hydrogens) {
            grid.remove_point(h, at[h]);
            grid.remove_bond(parent, h, at[parent], at[h]);
        }
        return around(parent, hydrogens);
    }
};

}  // namespace

std::vector<std::pair<int, Point>> place_hydrogens(const std::vector<std::vector<int>>& neighbours,
                                                   const std::vector<int>& frame,
                                                   const std::vector<Point>& frame_points,
                                                   const std::vector<Bond>& bonds) {
    Placing placing{neighbours, std::vector<Point>(neighbours.size(), Point{0, 0}),
                    std::vector<bool>(neighbours.size(), false), {}, {}, {}, {}};
    for (std::size_t k = 0; k < frame.size(); ++k) {
        placing.at[frame[k]] = frame_points[k];
        placing.placed[frame[k]] = true;
        placing.grid.add_point(frame[k], frame_points[k]);
    }
    std::vector<bool> in_frame = placing.placed;
    for (const auto& [i, j] : bonds)
        if (in_frame[i] && in_frame[j]) placing.grid.add_bond(i, j, placing.at[i], placing.at[j]);
    std::vector<std::pair<int, std::vector<int>>> parents;
    for (int i : frame) {
        std::vector<int> hydrogens;
        for (int j : neighbours[i])
            if (!in_frame[j]) hydrogens.push_back(j);
        if (!hydrogens.empty()) parents.push_back({i, hydrogens});
    }
    std::vector<std::size_t> crowded;
    for (std::size_t k = 0; k < parents.size(); ++k)
        if (placing.around(parents[k].first, parents[k].second) < CLEAR) crowded.push_back(k);
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<std::size_t> still;
        for (std::size_t k : crowded)
            if (placing.again(parents[k].first, parents[k].second) < CLEAR) still.push_back(k);
        crowded = still;
    }
    std::vector<std::pair<int, Point>> placed;
    for (int h : placing.order) placed.push_back({h, placing.at[h]});
    return placed;
}

}  // namespace draw
