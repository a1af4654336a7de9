// A last, local relaxation for crowded drawings: where hydrogens placed
// around a fixed frame still come too close to other atoms or bonds, every
// atom moves a little (the frame held near its place, bonds held at one
// length) until the crowding eases. Only atoms within reach of each other,
// found along x, are weighed.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "draw.hpp"

namespace draw {

namespace {

constexpr double BOND = 20.0;  // stiffness of a bond's length
constexpr double HOLD = 0.05;  // how firmly a frame atom stays where the depictor put it
constexpr double NEAR = 0.75;  // the least distance wanted between atoms not bonded together
constexpr double ACROSS = 1.05;  // and between two neighbours of one atom (about 63 degrees)
constexpr double BESIDE = 0.5;  // and between an atom and a bond it is not part of
constexpr double RATE = 0.02;
constexpr double HYDROGEN_RATE = 0.2;
constexpr double STEP = 0.08;  // the most an atom moves in one step
constexpr int ROUNDS = 400;
constexpr int PROJECTED_ROUNDS = 45;

using Points = std::vector<Point>;

double clip(double v, double low, double high) { return v < low ? low : v > high ? high : v; }

// What keeps two atoms apart: nothing (the same atom, or bonded), NEAR, or
// ACROSS for two neighbours of one atom.
struct Rules {
    std::size_t n;
    std::vector<std::uint8_t> kind;  // n by n: 0 none, 1 near, 2 across
    std::vector<Bond> ends;

    Rules(std::size_t count, const std::vector<Bond>& bonds) : n(count), kind(count * count, 1), ends(bonds) {
        std::vector<std::vector<int>> around(n);
        for (std::size_t i = 0; i < n; ++i) kind[i * n + i] = 0;
        for (const auto& [i, j] : ends) {
            around[i].push_back(j);
            around[j].push_back(i);
        }
        for (const auto& [i, j] : ends) kind[i * n + j] = kind[j * n + i] = 0;
        for (const auto& shared : around)
            for (int i : shared)
                for (int j : shared)
                    if (i != j && kind[i * n + j] == 1) kind[i * n + j] = 2;
    }

    double wanted(std::size_t i, std::size_t j) const {
        std::uint8_t k = kind[i * n + j];
        return k == 1 ? NEAR : k == 2 ? ACROSS : 0.0;
    }
};

// The atoms ordered by x, to visit only those within reach of an x: every
// sum below still runs over j (or bonds) in ascending order, as a dense loop
// would, since the outer loops go that way and each visit adds to one atom.
struct ByX {
    std::vector<int> order;
    std::vector<double> xs;

    explicit ByX(const Points& p) : order(p.size()), xs(p.size()) {
        for (std::size_t i = 0; i < p.size(); ++i) order[i] = static_cast<int>(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return before(p[a].x, p[b].x); });
        for (std::size_t k = 0; k < p.size(); ++k) xs[k] = p[order[k]].x;
    }

    // Calls visit(i) for each atom whose x lies from low to high.
    template <class Visit>
    void each(double low, double high, Visit visit) const {
        auto first = std::partition_point(xs.begin(), xs.end(), [&](double x) { return before(x, low); });
        auto last = std::partition_point(first, xs.end(), [&](double x) { return !before(high, x); });
        for (auto at = first; at != last; ++at) visit(static_cast<std::size_t>(order[at - xs.begin()]));
    }

    // NaN last: a strict weak order whatever the values.
    static bool before(double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); }
};

// Pushes apart atoms closer than the rules want: 2 * sum over j of (push / distance) * (p_i - p_j).
Points pair_forces(const Points& p, const Rules& rules, const std::vector<bool>& moving, const ByX& by_x) {
    Points sum(p.size(), Point{0, 0});
    constexpr double reach = ACROSS + 1e-9;
    for (std::size_t j = 0; j < p.size(); ++j)
        by_x.each(p[j].x - reach, p[j].x + reach, [&](std::size_t i) {
            double wanted = rules.wanted(i, j);
            if (!moving[i] || wanted == 0) return;
            double dx = p[i].x - p[j].x, dy = p[i].y - p[j].y;
            double d2 = dx * dx + dy * dy;
            if (d2 >= (wanted + 1e-9) * (wanted + 1e-9)) return;  // no push: skipped as the zero it adds
            double distance = std::sqrt(d2);
            double push = wanted - distance;
            // Two atoms on one spot have no direction to push in: left to the other forces.
            if (!(push > 0) || distance == 0) return;
            sum[i].x += push / distance * dx;
            sum[i].y += push / distance * dy;
        });
    for (Point& f : sum) f = {f.x * 2, f.y * 2};
    return sum;
}

// From atom p to the bond a-b: the distance and the vector from the bond's nearest point.
double gap_to(Point p, Point a, Point b, Point& away) {
    double abx = b.x - a.x, aby = b.y - a.y;
    double t = ((p.x - a.x) * abx + (p.y - a.y) * aby) / std::max(abx * abx + aby * aby, 1e-9);
    t = clip(t, 0, 1);
    away = {p.x - (a.x + t * abx), p.y - (a.y + t * aby)};
    return std::sqrt(away.x * away.x + away.y * away.y);
}

// Calls visit(i, bond) for each atom i that is not an end of the bond and
// lies within its box widened by `reach`, bonds in order.
template <class Visit>
void near_bonds(const Points& p, const std::vector<Bond>& ends, const ByX& by_x, double reach, Visit visit) {
    for (std::size_t b = 0; b < ends.size(); ++b) {
        Point a = p[ends[b].first], c = p[ends[b].second];
        double low_y = std::min(a.y, c.y) - reach, high_y = std::max(a.y, c.y) + reach;
        by_x.each(std::min(a.x, c.x) - reach, std::max(a.x, c.x) + reach, [&](std::size_t i) {
            if (p[i].y < low_y || p[i].y > high_y) return;
            if (static_cast<std::size_t>(ends[b].first) == i || static_cast<std::size_t>(ends[b].second) == i) return;
            visit(i, b);
        });
    }
}

// Pushes atoms away from bonds they are not part of and lie within BESIDE of.
Points segment_forces(const Points& p, const Rules& rules, const std::vector<bool>& moving, const ByX& by_x) {
    Points sum(p.size(), Point{0, 0});
    near_bonds(p, rules.ends, by_x, BESIDE + 1e-9, [&](std::size_t i, std::size_t b) {
        if (!moving[i]) return;
        Point away;
        double distance = gap_to(p[i], p[rules.ends[b].first], p[rules.ends[b].second], away);
        double push = clip(BESIDE - distance, 0, INFINITY) / std::max(distance, 1e-9);
        sum[i].x += push * away.x;
        sum[i].y += push * away.y;
    });
    for (Point& f : sum) f = {f.x * 2, f.y * 2};
    return sum;
}

// Per atom, the sum over bonds of the vectors given for their first and second ends.
Points summed(std::size_t n, const std::vector<Bond>& ends, const Points& at_first, const Points& at_second) {
    Points total(n, Point{0, 0});
    for (std::size_t b = 0; b < ends.size(); ++b) {
        total[ends[b].first].x += at_first[b].x;
        total[ends[b].first].y += at_first[b].y;
    }
    for (std::size_t b = 0; b < ends.size(); ++b) {
        total[ends[b].second].x += at_second[b].x;
        total[ends[b].second].y += at_second[b].y;
    }
    return total;
}

Points bond_forces(const Points& p, const std::vector<Bond>& ends) {
    Points pull(ends.size()), back(ends.size());
    for (std::size_t b = 0; b < ends.size(); ++b) {
        Point a = p[ends[b].first], c = p[ends[b].second];
        double dx = c.x - a.x, dy = c.y - a.y;
        double length = std::sqrt(dx * dx + dy * dy);
        double scale = BOND * (length - 1);
        pull[b] = {scale * dx / std::max(length, 1e-9), scale * dy / std::max(length, 1e-9)};
        back[b] = {-pull[b].x, -pull[b].y};
    }
    return summed(p.size(), ends, pull, back);
}

// Atoms or bonds closer than the drawing rules allow (with some room), and
// bonds stretched beyond 7%: each close pair counts twice, as (i, j) and (j, i).
int violations(const Points& p, const Rules& rules) {
    ByX by_x(p);
    int count = 0;
    for (std::size_t j = 0; j < p.size(); ++j)
        by_x.each(p[j].x - 0.55 - 1e-9, p[j].x + 0.55 + 1e-9, [&](std::size_t i) {
            if (i <= j || rules.kind[i * rules.n + j] == 0) return;
            double dx = p[i].x - p[j].x, dy = p[i].y - p[j].y;
            if (std::sqrt(dx * dx + dy * dy) < 0.55) count += 2;
        });
    for (const auto& [a, b] : rules.ends) {
        double dx = p[b].x - p[a].x, dy = p[b].y - p[a].y;
        if (std::fabs(std::sqrt(dx * dx + dy * dy) - 1) > 0.07) ++count;
    }
    near_bonds(p, rules.ends, by_x, 0.42 + 1e-9, [&](std::size_t i, std::size_t b) {
        Point away;
        if (gap_to(p[i], p[rules.ends[b].first], p[rules.ends[b].second], away) < 0.42) ++count;
    });
    return count;
}

// Whether stepping on looks useless: nothing left to mend, or (unless
// patient) the last four looks found no fewer faults than the one before.
bool settled(std::vector<int>& counts, int count, bool patient = false) {
    counts.push_back(count);
    std::size_t k = counts.size();
    return count == 0 ||
           (!patient && k > 4 && std::min({counts[k - 1], counts[k - 2], counts[k - 3], counts[k - 4]}) >= counts[k - 5]);
}

// Up to `rounds` steps down the crowding's slope at each atom's rate; hanging
// atoms ((atom, parent) pairs) are put back at one bond length from their
// parents after each, held ones (when `held` is given) pulled back towards where they started.
Points steps(Points p, const Rules& rules, const std::vector<double>& rate, const std::vector<Bond>& hanging,
             int rounds, const std::vector<bool>* held) {
    const Points start = p;
    std::vector<bool> moving(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) moving[i] = rate[i] != 0;
    std::vector<int> counts;
    for (int round = 0; round < rounds; ++round) {
        // The hydrogens' swings stop once they no longer help; the slow steps go on.
        if (round % 5 == 0 && settled(counts, violations(p, rules), held != nullptr)) break;
        ByX by_x(p);
        Points bonds = bond_forces(p, rules.ends), pairs = pair_forces(p, rules, moving, by_x),
               segments = segment_forces(p, rules, moving, by_x);
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (!moving[i]) continue;  // a zero rate moves nothing
            double fx = bonds[i].x + pairs[i].x + segments[i].x, fy = bonds[i].y + pairs[i].y + segments[i].y;
            if (held) {
                double hold = HOLD * ((*held)[i] ? 1.0 : 0.0);
                fx += hold * (start[i].x - p[i].x);
                fy += hold * (start[i].y - p[i].y);
            }
            p[i] = {p[i].x + clip(rate[i] * fx, -STEP, STEP), p[i].y + clip(rate[i] * fy, -STEP, STEP)};
        }
        // All measured before any is moved: a hydrogen on two parents ends on the last one's circle.
        Points back(hanging.size());
        for (std::size_t k = 0; k < hanging.size(); ++k) {
            auto [h, parent] = hanging[k];
            double ox = p[h].x - p[parent].x, oy = p[h].y - p[parent].y;
            double length = std::max(std::sqrt(ox * ox + oy * oy), 1e-9);
            back[k] = {p[parent].x + ox / length, p[parent].y + oy / length};
        }
        for (std::size_t k = 0; k < hanging.size(); ++k) p[hanging[k].first] = back[k];
    }
    return p;
}

// One pass moving each bond's ends to one length apart, the more mobile end
// the further; an atom's moves from its several bonds are averaged.
void bonds_to_length(Points& p, const std::vector<Bond>& ends, const std::vector<double>& share,
                     const std::vector<double>& degree) {
    Points first(ends.size()), second(ends.size());
    for (std::size_t b = 0; b < ends.size(); ++b) {
        double dx = p[ends[b].second].x - p[ends[b].first].x, dy = p[ends[b].second].y - p[ends[b].first].y;
        double length = std::max(std::sqrt(dx * dx + dy * dy), 1e-9);
        double cx = (length - 1) / length * dx, cy = (length - 1) / length * dy;
        first[b] = {cx * share[b], cy * share[b]};
        second[b] = {-cx * (1 - share[b]), -cy * (1 - share[b])};
    }
    Points moves = summed(p.size(), ends, first, second);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = {p[i].x + moves[i].x / degree[i], p[i].y + moves[i].y / degree[i]};
}

// Quick steps that push crowded atoms apart, each followed by passes that
// bring every bond back to about one length; frame atoms move a quarter as
// far as hydrogens and are drawn back towards their start. Often enough, but
// not always: the slow steps are the fallback.
Points projected_steps(Points p, const Rules& rules, const std::vector<bool>& in_frame) {
    const Points start = p;
    std::vector<double> mobility(p.size()), share(rules.ends.size()), degree(p.size(), 0.0);
    for (std::size_t i = 0; i < p.size(); ++i) mobility[i] = in_frame[i] ? 0.25 : 1.0;
    for (std::size_t b = 0; b < rules.ends.size(); ++b) {
        auto [i, j] = rules.ends[b];
        share[b] = mobility[i] / (mobility[i] + mobility[j]);
        degree[i] += 1;
        degree[j] += 1;
    }
    for (double& d : degree) d = std::max(d, 1.0);
    std::vector<bool> everyone(p.size(), true);
    std::vector<int> counts;
    for (int round = 0; round < PROJECTED_ROUNDS; ++round) {
        if (round % 3 == 0 && settled(counts, violations(p, rules))) break;
        ByX by_x(p);
        Points pairs = pair_forces(p, rules, everyone, by_x), segments = segment_forces(p, rules, everyone, by_x);
        for (std::size_t i = 0; i < p.size(); ++i) {
            double scale = 0.5 * mobility[i];
            p[i] = {p[i].x + clip(scale * (pairs[i].x + segments[i].x), -STEP, STEP),
                    p[i].y + clip(scale * (pairs[i].y + segments[i].y), -STEP, STEP)};
            if (in_frame[i]) p[i] = {p[i].x + HOLD * (start[i].x - p[i].x), p[i].y + HOLD * (start[i].y - p[i].y)};
        }
        for (int pass = 0; pass < 3; ++pass) bonds_to_length(p, rules.ends, share, degree);
    }
    return p;
}

}  // namespace

Points relax(Points p, const std::vector<Bond>& bonds, const std::vector<bool>& held, bool whole, bool swing) {
    Rules rules(p.size(), bonds);
    std::vector<Bond> hanging;  // (atom outside the frame, its parent in it)
    for (const auto& [i, j] : bonds)
        if (held[i] != held[j]) hanging.push_back(held[i] ? Bond{j, i} : Bond{i, j});
    if (swing && !hanging.empty()) {
        // First the hydrogens alone swing about their parents, quickly.
        std::vector<double> rate(p.size());
        for (std::size_t i = 0; i < p.size(); ++i) rate[i] = held[i] ? 0.0 : HYDROGEN_RATE;
        p = steps(p, rules, rate, hanging, ROUNDS / 4, nullptr);
    }
    if (whole) {
        // Then quick projected steps of every atom, kept when they leave nothing
        // crowded, else slow steps, the frame held near its place.
        Points quick = projected_steps(p, rules, held);
        if (violations(quick, rules) == 0) return quick;
        p = steps(p, rules, std::vector<double>(p.size(), RATE), {}, ROUNDS, &held);
    }
    return p;
}

}  // namespace draw
