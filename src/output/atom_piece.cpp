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

// Adds a hydrogen's charge to the running total (charge += h.get_charge()).
bool add_charge(Ref& total, PyObject* hydrogen) {
    Ref charge = get_charge(hydrogen);
    Ref sum = charge ? foreign::add_in_place(total.get(), charge.get()) : nullptr;
    if (!sum) return false;
    total = std::move(sum);
    return true;
}

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

}  // namespace

bool take_census(PyObject* atom, Census* out) {
    Ref charge = slot_ref(atom, Slot::Charge);
    Ref bonds = charge ? get_bonds(atom) : nullptr;
    if (!bonds) return false;
    NeighbourGroups groups(out->neighbours);
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds.get()); ++i) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(bonds.get(), i));
        Ref neighbour, element;
        if (!entry_atom_element(entry.get(), &neighbour, &element)) return false;
        if (!is_hydrogen_symbol(element.get())) {
            out->heavy_entries.push_back(entry);
            groups.add(std::move(entry));
            continue;
        }
        ++out->hydrogens;
        if (!add_charge(charge, neighbour.get())) return false;
    }
    out->charge = std::move(charge);
    return true;
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
    std::vector<TableRow> rows;
    if (!read_plain_table(reinterpret_cast<PyObject*>(g.atom_type), &rows)) return nullptr;
    if (!memo.same_rows(rows)) {
        memo.entries_.clear();
        memo.row_symbols_.clear();
        for (const TableRow& r : rows) memo.row_symbols_.push_back(Ref::borrow(r.symbol));
        memo.rows_ = std::move(rows);
    }
    return &memo;
}

bool CapacityMemo::same_rows(const std::vector<TableRow>& rows) const {
    if (rows.size() != rows_.size()) return false;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].symbol != rows_[i].symbol || rows[i].valence != rows_[i].valence ||
            rows[i].capacity != rows_[i].capacity)
            return false;
    return true;
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
    PyObject* charge = *slot_ptr(atom, Slot::Charge);
    PyObject* bonds = *slot_ptr(atom, Slot::Bonds);
    if (!charge || !PyLong_CheckExact(charge) || !bonds || !PyList_Check(bonds)) return false;
    int64_t hydrogen_charge = 0;
    out->neighbours.reserve(static_cast<size_t>(PyList_GET_SIZE(bonds)));
    out->heavy_entries.reserve(static_cast<size_t>(PyList_GET_SIZE(bonds)));
    NeighbourGroups groups(out->neighbours);
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds); ++i) {
        PyObject* entry = PyList_GET_ITEM(bonds, i);
        PyObject *neighbour, *element;
        if (!plain_neighbour(map, entry, &neighbour, &element)) return false;
        if (!is_hydrogen_symbol(element)) {
            out->heavy_entries.push_back(Ref::borrow(entry));
            groups.add(Ref::borrow(entry), neighbour);
            continue;
        }
        PyObject* h = *slot_ptr(neighbour, Slot::Charge);
        if (!h || !PyLong_CheckExact(h)) return false;
        const BigInt v = read_int(h);
        if (!v.fits() || v.value > INT32_MAX || v.value < INT32_MIN) return false;
        ++out->hydrogens;
        hydrogen_charge += v.value;
    }
    if (hydrogen_charge == 0) {
        out->charge = Ref::borrow(charge);
        return true;
    }
    const BigInt own = read_int(charge);
    if (!own.fits() || own.value > INT32_MAX || own.value < INT32_MIN) return false;
    out->charge = Ref::steal(PyLong_FromLongLong(own.value + hydrogen_charge));
    if (!out->charge) PyErr_Clear();
    return static_cast<bool>(out->charge);
}

bool write_lone_hydrogen(PyObject* charge, Text* piece) {
    piece->add("[H+");
    if (!piece->add_plain(charge)) return false;
    piece->add(']');
    rewrite_charge(piece->bytes());
    return true;
}

}  // namespace atom
