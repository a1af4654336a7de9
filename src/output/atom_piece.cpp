#include "output/atom_piece.hpp"

#include "python/foreign.hpp"
#include "valence/accounting.hpp"
#include "python/ints.hpp"
#include "registry/atoms.hpp"
#include "registry/plain_registry.hpp"

#include <unordered_map>

namespace atom {
namespace {

// Entries that reach here resolved, so each is an exact int or an exact Atom;
// as dict keys, ints are equal by value and atoms by identity.
bool same_key(PyObject* a, PyObject* b) {
    if (a == b) return true;
    if (!PyLong_CheckExact(a) || !PyLong_CheckExact(b)) return false;
    return foreign::compare(a, b, Py_EQ) == 1;
}

// Groups repeated entries into one neighbour with a bond order. Bond lists are
// short; an index by id takes over for lists long enough to make a scan costly.
class NeighbourGroups {
public:
    explicit NeighbourGroups(std::vector<Neighbour>& out) : out_(out) {}

    // `atom`: the atom the entry names, when known.
    void add(Ref key, PyObject* atom = nullptr) {
        if (Neighbour* n = find(key.get())) {
            ++n->order;
            return;
        }
        out_.push_back({std::move(key), 1, Ref::borrow(atom)});
    }

private:
    static constexpr size_t kScanLimit = 16;

    static bool id_of(PyObject* key, int64_t* id) {
        if (!PyLong_CheckExact(key)) return false;
        const BigInt v = read_int(key);
        *id = v.value;
        return v.fits();
    }

    Neighbour* scan(PyObject* key) {
        for (Neighbour& n : out_)
            if (same_key(n.key.get(), key)) return &n;
        return nullptr;
    }

    Neighbour* find(PyObject* key) {
        int64_t id = 0;
        if (out_.size() <= kScanLimit || !id_of(key, &id)) return scan(key);
        for (; indexed_ < out_.size(); ++indexed_) {
            int64_t other = 0;
            if (id_of(out_[indexed_].key.get(), &other)) by_id_.emplace(other, indexed_);
        }
        auto it = by_id_.find(id);
        return it == by_id_.end() ? nullptr : &out_[it->second];
    }

    std::vector<Neighbour>& out_;
    std::unordered_map<int64_t, size_t> by_id_;
    size_t indexed_ = 0;
};

void rewrite_charge(std::string& s) {
    replace_all(s, "+-", "-");
    replace_all(s, "-1", "-");
    replace_all(s, "+1", "+");
    replace_all(s, "+0", "");
}

void rewrite_hydrogens(std::string& s) {
    replace_all(s, "H0", "");
    replace_all(s, "H1", "H");
}

// "[" + element + "H" + count, as string concatenation would build it.
bool open_bracket(PyObject* element, int64_t hydrogens, Text* piece) {
    if (!PyUnicode_Check(element)) {
        PyErr_Format(PyExc_TypeError, "can only concatenate str (not \"%.200s\") to str", Py_TYPE(element)->tp_name);
        return false;
    }
    piece->add('[');
    if (!piece->add_str(element)) return false;
    piece->add('H').add_int(hydrogens);
    return true;
}

Ref as_list(const std::vector<Ref>& items) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (size_t i = 0; i < items.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), items[i].new_ref());
    return list;
}

// Whether a neutral atom of this element would hold exactly the entries it has:
// the bond accounting's capacity for its non-hydrogen entries (as the census
// found them), lone electrons chosen automatically, against the length of the
// whole bond list.
bool holds_neutral_capacity(PyObject* atom, PyObject* element, const Census& census, CapacityMemo* memo,
                            bool* holds) {
    int64_t remembered = 0;
    if (memo && memo->find(element, census, &remembered)) {
        PyObject* bonds = *slot_ptr(atom, Slot::Bonds);  // a list the census has read
        *holds = remembered == PyList_GET_SIZE(bonds);
        return true;
    }
    Ref heavy = as_list(census.heavy_entries);
    Ref id = heavy ? get_id(atom) : nullptr;
    if (!id) return false;
    const AccountArgs args{reinterpret_cast<PyObject*>(g.atom_type), element, g.const_zero, g.const_zero,
                           heavy.get(), id.get(), Py_True};
    Capacity cap{};
    if (!bond_num(args, &cap)) return false;
    if (memo) memo->keep(element, census, cap.bonds);
    Ref bonds = get_bonds(atom);
    if (!bonds) return false;
    *holds = cap.bonds == PyList_GET_SIZE(bonds.get());
    return true;
}

// What a census reader reports at each step: the general reader succeeds or
// fails; the plain one, which runs no Python code, may find that the census
// needs the general reader (no error set then).
enum class Step { Failed, Cannot, Done };


// The census of a bond list, one rule for both readers: the atom's charge,
// then every entry resolved in list order (the list's length re-read at each
// step); a non-hydrogen neighbour is a heavy entry, grouped with the entries
// naming the same atom; a hydrogen is counted and its charge added.
template <class Reader>
Step read_census(Reader& r, PyObject* atom, Census* out) {
    using Held = typename Reader::Held;
    Held bonds{};
    if (Step s = r.begin(atom, &bonds); s != Step::Done) return s;
    out->neighbours.reserve(static_cast<size_t>(PyList_GET_SIZE(raw(bonds))));
    out->heavy_entries.reserve(static_cast<size_t>(PyList_GET_SIZE(raw(bonds))));
    NeighbourGroups groups(out->neighbours);
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(raw(bonds)); ++i) {
        Held entry = hold<Held>(PyList_GET_ITEM(raw(bonds), i));
        Held neighbour{}, element{};
        if (Step s = r.resolve(raw(entry), &neighbour, &element); s != Step::Done) return s;
        if (!is_hydrogen_symbol(raw(element))) {
            out->heavy_entries.push_back(Ref::borrow(raw(entry)));
            groups.add(Ref::borrow(raw(entry)), r.known_atom(raw(neighbour)));
            continue;
        }
        ++out->hydrogens;
        if (Step s = r.add_charge(raw(neighbour)); s != Step::Done) return s;
    }
    return r.finish(&out->charge);
}

// Reads through the getters and Python's own arithmetic, as the text does:
// charge += hydrogen.get_charge(), one hydrogen at a time. Python code may
// run at any step, so what it reads is held.
struct GeneralCensus {
    using Held = Ref;
    Ref charge;

    Step begin(PyObject* atom, Ref* bonds) {
        charge = slot_ref(atom, Slot::Charge);
        *bonds = charge ? get_bonds(atom) : nullptr;
        return *bonds ? Step::Done : Step::Failed;
    }
    Step resolve(PyObject* entry, Ref* neighbour, Ref* element) const {
        return entry_atom_element(entry, neighbour, element) ? Step::Done : Step::Failed;
    }
    // Only a census read without Python code may hand its atoms on.
    PyObject* known_atom(PyObject*) const { return nullptr; }
    Step add_charge(PyObject* hydrogen) {
        Ref h = get_charge(hydrogen);
        Ref sum = h ? foreign::add_in_place(charge.get(), h.get()) : nullptr;
        if (!sum) return Step::Failed;
        charge = std::move(sum);
        return Step::Done;
    }
    Step finish(Ref* out) {
        *out = std::move(charge);
        return Step::Done;
    }
};

// Reads the slots in the plain registry `map` without Python code: exact ints
// (charges within 32 bits) and entries that resolve there, else Cannot.
struct PlainCensus {
    using Held = PyObject*;  // nothing runs Python code: borrowed is enough
    PyObject* map;
    Ref own;
    int64_t hydrogen_charge = 0;

    static bool small_int(PyObject* v, int64_t* n) {
        if (!v || !PyLong_CheckExact(v)) return false;
        const BigInt b = read_int(v);
        *n = b.value;
        return b.fits() && b.value <= INT32_MAX && b.value >= INT32_MIN;
    }
    Step begin(PyObject* atom, PyObject** bonds) {
        PyObject* charge = *slot_ptr(atom, Slot::Charge);
        PyObject* list = *slot_ptr(atom, Slot::Bonds);
        if (!charge || !PyLong_CheckExact(charge) || !list || !PyList_Check(list)) return Step::Cannot;
        own = Ref::borrow(charge);
        *bonds = list;
        return Step::Done;
    }
    Step resolve(PyObject* entry, PyObject** neighbour, PyObject** element) const {
        return plain_neighbour(map, entry, neighbour, element) ? Step::Done : Step::Cannot;
    }
    PyObject* known_atom(PyObject* neighbour) const { return neighbour; }
    Step add_charge(PyObject* hydrogen) {
        int64_t n = 0;
        if (!small_int(*slot_ptr(hydrogen, Slot::Charge), &n)) return Step::Cannot;
        hydrogen_charge += n;
        return Step::Done;
    }
    Step finish(Ref* out) {
        if (hydrogen_charge == 0) {
            *out = std::move(own);
            return Step::Done;
        }
        int64_t n = 0;
        if (!small_int(own.get(), &n)) return Step::Cannot;
        *out = Ref::steal(PyLong_FromLongLong(n + hydrogen_charge));
        if (!*out) PyErr_Clear();
        return *out ? Step::Done : Step::Cannot;
    }
};

}  // namespace

bool take_census(PyObject* atom, Census* out) {
    GeneralCensus reader;
    return read_census(reader, atom, out) == Step::Done;
}

bool write_atom_text(PyObject* atom, PyObject* element, const Census& census, Text* piece, CapacityMemo* memo) {
    const int charged = foreign::compare(census.charge.get(), g.const_zero, Py_NE);
    if (charged < 0) return false;
    if (charged) {
        if (!open_bracket(element, census.hydrogens, piece)) return false;
        piece->add('+');
        if (!piece->add_plain(census.charge.get())) return false;
        piece->add(']');
        rewrite_charge(piece->bytes());
        rewrite_hydrogens(piece->bytes());
        return true;
    }
    bool holds = false;
    if (!holds_neutral_capacity(atom, element, census, memo, &holds)) return false;
    if (holds) return piece->add_str(element);
    if (!open_bracket(element, census.hydrogens, piece)) return false;
    piece->add(']');
    rewrite_hydrogens(piece->bytes());
    return true;
}

int64_t double_bonds(const Census& census) {
    int64_t n = 0;
    for (const Neighbour& nb : census.neighbours) n += nb.order == 2;
    return n;
}

CapacityMemo* CapacityMemo::for_current_table() {
    // Never destroyed: its references outlive the interpreter.
    static CapacityMemo& memo = *new CapacityMemo;
    PyObject* cls = reinterpret_cast<PyObject*>(g.atom_type);
    // The memo holds its rows' symbols, so the same objects mean the same keys.
    if (!memo.rows_.empty() && plain_table_is(cls, memo.rows_)) return &memo;
    std::vector<TableRow> rows;
    if (!read_plain_table(cls, &rows)) return nullptr;
    memo.entries_.clear();
    memo.row_symbols_.clear();
    for (const TableRow& r : rows) memo.row_symbols_.push_back(Ref::borrow(r.symbol));
    memo.rows_ = std::move(rows);
    return &memo;
}

bool CapacityMemo::find(PyObject* element, const Census& census, int64_t* bonds) const {
    const int64_t doubles = double_bonds(census);
    for (const Entry& e : entries_) {
        if (e.heavy != census.heavy_entries.size() || e.doubles != doubles) continue;
        // Exact str on both sides (plain walks only): compared without Python code.
        if (e.element.get() == element || PyUnicode_Compare(e.element.get(), element) == 0) {
            *bonds = e.bonds;
            return true;
        }
    }
    return false;
}

void CapacityMemo::keep(PyObject* element, const Census& census, int64_t bonds) {
    entries_.push_back({Ref::borrow(element), census.heavy_entries.size(), double_bonds(census), bonds});
}

bool take_plain_census(PyObject* atom, PyObject* map, Census* out) {
    PlainCensus reader{map};
    return read_census(reader, atom, out) == Step::Done;
}

bool write_lone_hydrogen(PyObject* charge, Text* piece) {
    piece->add("[H+");
    if (!piece->add_plain(charge)) return false;
    piece->add(']');
    rewrite_charge(piece->bytes());
    return true;
}

}  // namespace atom
