// Second pass of the reader: the atoms are created bottom-up (branches, then
// the continuation, then the level's own atom), each with the atoms it bonds
// to as its bond list; bracket hydrogen counts are met and rings are closed.
// Runs on an explicit stack, so chains of any length need no C stack.
#include "python/foreign.hpp"
#include "smiles_reader/reader.hpp"
#include "python/fast_paths.hpp"

#include "valence/accounting.hpp"
#include "bonding/form.hpp"
#include "python/ints.hpp"
#include "python/errors.hpp"
#include "registry/atoms.hpp"
#include "registry/pool_batch.hpp"
#include "construction/construct.hpp"
#include "construction/creation_log.hpp"
#include "construction/hydrogens.hpp"
#include "setters/setters.hpp"
#include "smiles_reader/messages.hpp"
#include "smiles_reader/parse.hpp"

#include <optional>

namespace atom {
namespace {

using smiles::Failure;
using smiles::Level;
using smiles::Quote;
using smiles::Reading;
using smiles::RingMark;

class Builder {
public:
    Builder(Reading& r, const Quote& quote) : r_(r), top_(quote.top), val_(quote.val), quote_(quote) {}

    bool run() {
        struct Visit {
            int level;
            size_t next = 0;
        };
        std::vector<Visit> stack{{0}};
        while (!stack.empty()) {
            Visit& v = stack.back();
            Level& level = r_.levels[static_cast<size_t>(v.level)];
            if (level.failure != Failure::None) return raise_level_failure(quote_, level);
            if (v.next < level.children.size()) {
                const int child = level.children[v.next++];
                stack.push_back({child});
                continue;
            }
            if (!create(level)) return false;
            stack.pop_back();
        }
        return true;
    }

private:
    // The partner list: each child atom as many times as its bond order, then
    // the hydrogens that hold the valence for this level's ring bonds.
    Ref partner_list(const Level& level) const {
        Ref partners = Ref::steal(PyList_New(0));
        if (!partners) return nullptr;
        for (int c : level.children) {
            const Level& child = r_.levels[static_cast<size_t>(c)];
            for (int k = 0; k < child.incoming; ++k)
                if (PyList_Append(partners.get(), child.atom.get()) < 0) return nullptr;
        }
        for (int m : level.rings)
            for (int k = 0; k < r_.marks[static_cast<size_t>(m)].order; ++k) {
                Ref h = create_hydrogen(nullptr, 1);  // the bond to this level's atom takes its partner
                if (!h || PyList_Append(partners.get(), h.get()) < 0) return nullptr;
            }
        return partners;
    }

    // The capacity the constructor would give the atom, without creating it.
    // Returns false only for an exception that must not be swallowed.
    bool dry_capacity(const Level& level, PyObject* partners, int placeholders, bool* fits, Capacity* cap) const {
        const AccountArgs args{reinterpret_cast<PyObject*>(g.atom_type), level.element.get(), level.charge.get(),
                               g.const_zero, partners, g.const_zero, Py_True, placeholders};
        *fits = bond_num(args, cap);
        if (!*fits) {
            SavedError e;
            if (!is_ordinary_exception(e.get())) {
                e.restore();
                return false;
            }
        }
        return true;
    }

    // A nested atom is fitted before its caller exists. When the constructor
    // would leave it fewer hydrogens than the incoming bond needs, its capacity
    // is worked out as if that bond were already there.
    // When the capacity found needs no placeholder, it is the one the
    // constructor will find (`*known` is set): the same arguments but the id,
    // which only a failure would name.
    bool placeholders_for(const Level& level, PyObject* partners, int* placeholders, std::optional<Capacity>* known) const {
        *placeholders = 0;
        if (level.incoming == 0) return true;
        // The partner atoms count as their ids would: one distinct entry per atom.
        bool fits = false;
        Capacity cap{};
        if (!dry_capacity(level, partners, 0, &fits, &cap)) return false;
        if (!fits) return true;
        if (cap.bonds - PyList_GET_SIZE(partners) >= level.incoming) {
            if (g.atom_type->tp_richcompare == PyBaseObject_Type.tp_richcompare) *known = cap;
            return true;
        }
        if (!dry_capacity(level, partners, level.incoming, &fits, &cap)) return false;
        if (fits) *placeholders = level.incoming;
        return true;
    }

    static bool count_hydrogens(PyObject* atom, int64_t* count) {
        Ref bonds = get_bonds(atom);
        if (!bonds) return false;
        *count = 0;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds.get()); ++i) {
            Ref entry = Ref::borrow(PyList_GET_ITEM(bonds.get(), i));
            Ref element = entry_element(entry.get());
            if (!element) return false;
            if (is_hydrogen_symbol(element.get())) ++*count;
        }
        return true;
    }

    // Trades lone electrons for hydrogens, one at a time, until the count is met.
    static bool meet_hydrogen_count(PyObject* atom, PyObject* wanted) {
        const BigInt target = read_int(wanted);
        int64_t h = 0;
        if (!count_hydrogens(atom, &h)) return false;
        for (int step : {-1, +1}) {
            while (step < 0 ? (target.overflow > 0 || h < target.value) : (target.overflow < 0 || h > target.value)) {
                Ref lone = get_lone(atom);
                Ref delta = Ref::steal(PyLong_FromLong(step));
                Ref next = lone && delta ? foreign::add(lone.get(), delta.get()) : nullptr;
                if (!next || !run_setter(atom, Setter::Lone, next.get(), Py_False)) return false;
                const int64_t before = h;
                if (!count_hydrogens(atom, &h)) return false;
                if (h == before) {
                    PyErr_SetString(PyExc_RuntimeError, "the hydrogen count of a bracket atom cannot be met");
                    return false;
                }
            }
        }
        return true;
    }

    // The ring bond's order: the symbol written at either end; both ends may
    // carry one only when they agree.
    bool ring_order(const RingMark& stored, const RingMark& closing, int* order) const {
        if (stored.order == 1 || closing.order == 1 || stored.order == closing.order) {
            *order = std::max(stored.order, closing.order);
            return true;
        }
        Ref label = Ref::steal(PyUnicode_FromString(closing.label.c_str()));
        return label && raise_reading_error(quote_, "Ring bond ", label.get(), " is written with two different bond orders.");
    }

    bool bond_times(PyObject* atom, PyObject* other_id, int times) const {
        for (int k = 0; k < times; ++k)
            if (!bond_with(atom, other_id, Py_True, g.names.hydro, Py_False)) return false;
        return true;
    }

    // A label with no partner in this text meets the table handed down by a
    // caller that read the rest of the string itself.
    bool outer_ring(PyObject* atom, const RingMark& mark) {
        Ref table = foreign::item_at(val_, 1);
        Ref key = table ? Ref::steal(PyLong_FromString(mark.label.c_str(), nullptr, 10)) : nullptr;
        if (!key) return false;
        const int known = foreign::contains(table.get(), key.get());
        if (known < 0) return false;
        if (!known) {
            Ref id = get_id(atom);
            Ref entry = id ? Ref::steal(Py_BuildValue("(iO)", mark.order, id.get())) : nullptr;
            return entry && foreign::set_item(table.get(), key.get(), entry.get());
        }
        Ref entry = foreign::get_item(table.get(), key.get());
        Ref stored_order = entry ? foreign::item_at(entry.get(), 0) : nullptr;
        Ref stored_id = stored_order ? foreign::item_at(entry.get(), 1) : nullptr;
        if (!stored_id) return false;
        const long o = PyLong_AsLong(stored_order.get());
        if (o == -1 && PyErr_Occurred()) return false;
        RingMark stored{mark.label, static_cast<int>(o), -1, nullptr};
        int order = 0;
        return ring_order(stored, mark, &order) && bond_times(atom, stored_id.get(), order);
    }

    bool close_rings(const Level& level) {
        PyObject* atom = level.atom.get();
        for (int m : level.rings) {
            RingMark& mark = r_.marks[static_cast<size_t>(m)];
            if (mark.partner >= 0 && r_.marks[static_cast<size_t>(mark.partner)].atom_id) {
                const RingMark& stored = r_.marks[static_cast<size_t>(mark.partner)];
                int order = 0;
                if (!ring_order(stored, mark, &order) || !bond_times(atom, stored.atom_id.get(), order)) return false;
            } else if (mark.partner < 0 && !top_) {
                PoolBatch::Suspend caller_table;  // a table of the caller's may be any object
                if (!outer_ring(atom, mark)) return false;
            } else {
                mark.atom_id = get_id(atom);
                if (!mark.atom_id) return false;
            }
        }
        return true;
    }

    bool create(Level& level) {
        Ref partners = partner_list(level);
        if (!partners) return false;
        // A bracket atom keeps the hydrogens it is written with: its ring
        // bonds and the bond to its caller will take theirs.
        Ref wanted = level.hydrogens;
        for (int m : level.rings) {
            if (!wanted) break;
            Ref order = Ref::steal(PyLong_FromLong(r_.marks[static_cast<size_t>(m)].order));
            wanted = order ? foreign::add(wanted.get(), order.get()) : nullptr;
            if (!wanted) return false;
        }
        if (wanted && level.incoming > 0) {
            Ref incoming = Ref::steal(PyLong_FromLong(level.incoming));
            wanted = incoming ? foreign::add(wanted.get(), incoming.get()) : nullptr;
            if (!wanted) return false;
        }
        int placeholders = 0;
        std::optional<Capacity> known;
        if (!placeholders_for(level, partners.get(), &placeholders, &known)) return false;
        const bool shortcuts = fast_path(FastPath::ReaderShortcuts);
        const NewAtom in{.element = level.element.get(),
                         .bonds = partners.get(),
                         .charge = level.charge.get(),
                         .lone = Py_None,
                         .bond_ = true,
                         .auto_modify = Py_False,
                         .placeholders = placeholders,
                         .partners_made_here = shortcuts,
                         .known_capacity = known && shortcuts ? &*known : nullptr,
                         // the bond to the caller's atom takes the first hydrogens, unless ring bonds
                         // (which take them first) are to come
                         .hydrogens_taken_soon = level.rings.empty() ? level.incoming : 0};
        level.atom = create_atom(in);
        if (!level.atom) return false;
        if (wanted) {
            PoolBatch::Suspend setters;
            if (!meet_hydrogen_count(level.atom.get(), wanted.get())) return false;
        }
        return close_rings(level);
    }

    Reading& r_;
    bool top_;
    PyObject* val_;
    Quote quote_;
};

}  // namespace

Ref from_smiles(PyObject* smiles, PyObject* top_arg, PyObject* val) {
    const int top = foreign::is_true(top_arg);
    if (top < 0) {
        // The test of `top` is the reading's first step: its failure is
        // wrapped, quoting the caller's val[0] as no shared state exists yet.
        wrap_reading_failure(Quote{false, smiles, val});
        return nullptr;
    }
    Reading reading;
    reading.source.load(smiles);
    const Quote quote{top != 0, smiles, val};
    Builder builder(reading, quote);
    CreationLog log;
    PoolBatch batch;  // settles before the log lets go of the atoms it holds
    if (!cut_levels(reading, top) || !builder.run()) {
        log.take_back();
        wrap_reading_failure(quote);
        return nullptr;
    }
    const Level& first = reading.levels.front();
    if (top) return first.atom;
    return Ref::steal(Py_BuildValue("(Oi)", first.atom.get(), first.incoming));
}

}  // namespace atom
