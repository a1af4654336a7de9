#pragma once

// Plane geometry of the pictures (brantor/draw*.py): points in bond lengths,
// angles in radians. Sums run over atoms and bonds in ascending order and
// angles are reduced as Python's % does, so that a layout comes out the same,
// to the last bit, whichever shortcuts find the atoms near each other.

#include <utility>
#include <vector>

namespace draw {

struct Point {
    double x, y;
};

using Bond = std::pair<int, int>;

constexpr double PI = 3.141592653589793;
constexpr double TAU = 2 * PI;

// Python's float %: the result takes the sign of the divisor.
double py_mod(double a, double b);
double angle_to(Point a, Point b);
Point step(Point a, double angle, double length = 1.0);

struct Gap {
    double start, size;
};

// The free sectors between directions, largest first (ties in angular order);
// one full turn when there is a single direction or none.
std::vector<Gap> angular_gaps(const std::vector<double>& angles);
// Directions for `count` items shared out over the gaps, each to the gap that
// leaves it most room, evenly spaced in its gap (nearer its middle when squeeze < 1).
std::vector<double> spread(const std::vector<Gap>& gaps, int count, double squeeze = 1.0);

// Whether a drawing breaks its rules, with some room: two atoms not bonded
// together closer than 0.55 bond lengths, an atom within 0.42 of a bond it is
// not part of, or a bond more than 9% off one length.
bool crowded(const std::vector<Point>& points, const std::vector<Bond>& bonds);

// The hydrogens of the frame atoms' neighbour lists that have no point yet,
// placed at one bond length: (atom, point) in the order first placed.
std::vector<std::pair<int, Point>> place_hydrogens(const std::vector<std::vector<int>>& neighbours,
                                                   const std::vector<int>& frame,
                                                   const std::vector<Point>& frame_points,
                                                   const std::vector<Bond>& bonds);

// The relaxation of crowded drawings; `held` marks the frame atoms.
std::vector<Point> relax(std::vector<Point> points, const std::vector<Bond>& bonds, const std::vector<bool>& held,
                         bool whole, bool swing);

}  // namespace draw
