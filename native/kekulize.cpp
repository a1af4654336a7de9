// A Kekulé structure for the aromatic atoms: which of them need a double bond,
// then a perfect matching of those atoms over the aromatic bonds.
#include "matching.hpp"
#include "molecule.hpp"

namespace kekule {

namespace {

// Bonds that lie on no ring (bridges, by Tarjan's low links with an explicit
// stack) are single, whatever their atoms: biphenyl's middle bond.
void demote_chain_bonds(Molecule& m, std::vector<int>& order, std::vector<int>& low) {
    int n = static_cast<int>(m.atoms.size());
    order.assign(n, -1);
    low.assign(n, 0);
    struct Frame { int atom, via, next; };
    std::vector<Frame> stack;
    int counter = 0;
    for (int start = 0; start < n; ++start) {
        if (order[start] >= 0) continue;
        order[start] = low[start] = counter++;
        stack.push_back({start, -1, m.first[start]});
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next < m.first[frame.atom + 1]) {
                int bond = m.edges[frame.next++];
                if (bond == frame.via) continue;
                int to = m.other(bond, frame.atom);
                if (order[to] < 0) {
                    order[to] = low[to] = counter++;
                    stack.push_back({to, bond, m.first[to]});
                } else if (order[to] < low[frame.atom]) {
                    low[frame.atom] = order[to];
                }
                continue;
            }
            Frame done = frame;
            stack.pop_back();
            if (stack.empty()) break;
            int parent = stack.back().atom;
            if (low[done.atom] < low[parent]) low[parent] = low[done.atom];
            if (low[done.atom] > order[parent]) m.bonds[done.via].aromatic = false;
        }
    }
}

// Whether an aromatic atom takes a double bond within its system: it does when
// its valence, after its other bonds and hydrogens, has exactly one place left
// (a carbon written bare: any place left, as its hydrogens are implied, unless
// it has a double bond already).
bool needs_pi(const Molecule& m, int atom) {
    const AtomRecord& record = m.atoms[atom];
    int total = record.folded + (record.bracket ? record.hcount : 0);
    bool multiple = false;
    for (int e = m.first[atom]; e < m.first[atom + 1]; ++e) {
        const BondRecord& bond = m.bonds[m.edges[e]];
        if (m.atoms[m.other(m.edges[e], atom)].removed) continue;
        total += bond.order;
        multiple = multiple || bond.order > 1;
    }
    if (!record.bracket && record.element == kC) return total < 4 && !multiple;
    return smallest_valence(record.element, record.charge, total) == total + 1;
}

bool hint_pyrrole(const Molecule& m, int component) {
    for (int i = 0; i < static_cast<int>(m.atoms.size()); ++i) {
        const AtomRecord& a = m.atoms[i];
        if (a.component == component && a.aromatic && !a.bracket && a.element == kN && a.needs_pi &&
            m.first[i + 1] - m.first[i] == 2)
            return true;
    }
    return false;
}

struct Workspace {
    std::vector<int> order, low, vertex, atom_of;
    Matching matching;
};

thread_local Workspace workspace;

void build_graph(Molecule& m, Workspace& w) {
    int n = static_cast<int>(m.atoms.size());
    w.vertex.assign(n, -1);
    w.atom_of.clear();
    for (int i = 0; i < n; ++i) {
        AtomRecord& atom = m.atoms[i];
        atom.needs_pi = atom.aromatic && !atom.removed && needs_pi(m, i);
        if (atom.needs_pi) {
            w.vertex[i] = static_cast<int>(w.atom_of.size());
            w.atom_of.push_back(i);
        }
    }
    Matching& g = w.matching;
    g.reset(static_cast<int>(w.atom_of.size()));
    for (std::size_t v = 0; v < w.atom_of.size(); ++v) {
        int atom = w.atom_of[v];
        for (int e = m.first[atom]; e < m.first[atom + 1]; ++e) {
            const BondRecord& bond = m.bonds[m.edges[e]];
            int to = w.vertex[m.other(m.edges[e], atom)];
            if (bond.aromatic && to >= 0) g.edges.push_back(to);
        }
        g.first[v + 1] = static_cast<int>(g.edges.size());
    }
}

}  // namespace

bool kekulize(Molecule& m, Failure& failure) {
    bool any = false;
    for (const BondRecord& bond : m.bonds) any = any || bond.aromatic;
    for (const AtomRecord& atom : m.atoms) any = any || atom.aromatic;
    if (!any) return true;
    Workspace& w = workspace;
    demote_chain_bonds(m, w.order, w.low);
    build_graph(m, w);
    Matching& g = w.matching;
    g.greedy();
    for (std::size_t v = 0; v < w.atom_of.size(); ++v) {
        if (g.mate[v] >= 0 || g.augment_from(static_cast<int>(v))) continue;
        const AtomRecord& atom = m.atoms[w.atom_of[v]];
        failure.position = atom.position;
        failure.reason = "no Kekulé structure gives this aromatic atom a double bond";
        if (hint_pyrrole(m, atom.component)) failure.reason += " (a pyrrole-type nitrogen is written [nH])";
        return false;
    }
    for (BondRecord& bond : m.bonds) {
        if (!bond.aromatic) continue;
        int a = w.vertex[bond.a], b = w.vertex[bond.b];
        bond.order = a >= 0 && g.mate[a] == b ? 2 : 1;
        bond.aromatic = false;
    }
    return true;
}

}  // namespace kekule
