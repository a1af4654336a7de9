#include "valence/accounting.hpp"

#include "python/ints.hpp"
#include "python/errors.hpp"
#include "python/function.hpp"
#include "registry/atoms.hpp"
#include "registry/ids.hpp"
#include "registry/element_table.hpp"

#include <algorithm>
#include <vector>

namespace atom {
namespace {

using Wide = __int128;

// --- counting the entries ------------------------------------------------------

struct EntryCount {
    Py_ssize_t entries = 0;  // b
    Py_ssize_t doubles = 0;  // D: distinct ids listed exactly twice
};

// D over a snapshot, with Python equality (list.count / list.remove semantics).
bool count_doubles_generic(std::vector<Ref> items, Py_ssize_t* doubles) {
    while (!items.empty()) {
        Ref first = items.front();
        std::vector<Ref> rest;
        Py_ssize_t same = 0;
        for (Ref& item : items) {
            const int eq = PyObject_RichCompareBool(item.get(), first.get(), Py_EQ);
            if (eq < 0) return false;
            if (eq)
                ++same;
            else
                rest.push_back(std::move(item));
        }
        if (same == 2) ++*doubles;
        items.swap(rest);
    }
    return true;
}

// An entry's identity for counting when Python equality is known without
// calling anything: exact ints by value, Atom objects (which compare by
// identity unless the class was given an __eq__) by address.
struct EntryKey {
    int kind;  // 0: int, 1: atom
    int64_t value;
    auto operator<=>(const EntryKey&) const = default;
};

bool plain_key(PyObject* item, bool atoms_by_identity, EntryKey* key) {
    if (PyLong_CheckExact(item)) {
        const BigInt v = read_int(item);
        *key = {0, v.value};
        return v.fits();
    }
    if (atoms_by_identity && is_exact_atom(item)) {
        *key = {1, reinterpret_cast<int64_t>(item)};
        return true;
    }
    return false;
}

bool count_list(PyObject* list, EntryCount* out) {
    const Py_ssize_t n = PyList_GET_SIZE(list);
    const bool atoms_by_identity = g.atom_type->tp_richcompare == PyBaseObject_Type.tp_richcompare;
    EntryKey inline_keys[16];
    std::vector<EntryKey> heap_keys;
    EntryKey* keys = inline_keys;
    if (n > 16) {
        heap_keys.resize(static_cast<size_t>(n));
        keys = heap_keys.data();
    }
    bool plain = true;
    for (Py_ssize_t i = 0; i < n && plain; ++i) plain = plain_key(PyList_GET_ITEM(list, i), atoms_by_identity, &keys[i]);
    if (plain) {
        std::sort(keys, keys + n);
        for (Py_ssize_t i = 0; i < n;) {
            Py_ssize_t j = i;
            while (j < n && keys[j] == keys[i]) ++j;
            if (j - i == 2) ++out->doubles;
            i = j;
        }
    } else {
        std::vector<Ref> items;
        items.reserve(static_cast<size_t>(n));
        for (Py_ssize_t i = 0; i < n; ++i) items.push_back(Ref::borrow(PyList_GET_ITEM(list, i)));
        if (!count_doubles_generic(std::move(items), &out->doubles)) return false;
    }
    out->entries = PyList_GET_SIZE(list);
    return true;
}

// The copy/count/remove walk on an object that is not a list.
bool count_object(PyObject* existing, EntryCount* out) {
    Ref copy = Ref::steal(PyObject_CallMethodNoArgs(existing, g.names.copy));
    if (!copy) return false;
    for (;;) {
        const int nonempty = PyObject_IsTrue(copy.get());
        if (nonempty < 0) return false;
        if (!nonempty) break;
        Ref first = Ref::steal(PySequence_GetItem(copy.get(), 0));
        if (!first) return false;
        Ref count = Ref::steal(PyObject_CallMethodOneArg(copy.get(), g.names.count, first.get()));
        if (!count) return false;
        const Py_ssize_t times = PyLong_Check(count.get()) ? PyLong_AsSsize_t(count.get()) : 1;
        if (times == -1 && PyErr_Occurred()) return false;
        if (times == 2) ++out->doubles;
        for (Py_ssize_t k = 0; k < std::max<Py_ssize_t>(times, 1); ++k) {
            Ref r = Ref::steal(PyObject_CallMethodOneArg(copy.get(), g.names.remove, first.get()));
            if (!r) return false;
        }
    }
    out->entries = PyObject_Size(existing);
    return out->entries >= 0;
}

bool count_entries(PyObject* existing, int placeholders, EntryCount* out) {
    if (existing && existing != Py_None) {
        Ref held = Ref::borrow(existing);
        if (PyList_CheckExact(existing) ? !count_list(existing, out) : !count_object(existing, out)) return false;
    }
    out->entries += placeholders;
    if (placeholders == 2) ++out->doubles;
    return true;
}

// --- messages ------------------------------------------------------------------

bool fail_returning_id(ErrorKind kind, Text& m, PyObject* id) {
    if (!give_back_id(id)) return false;
    return raise_error(kind, m, id);
}

void add_wide(Text& m, Wide v) {
    if (v >= INT64_MIN && v <= INT64_MAX) {
        m.add_int(static_cast<int64_t>(v));
        return;
    }
    char tmp[48];
    int i = sizeof tmp;
    const bool neg = v < 0;
    unsigned __int128 u = neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    do {
        tmp[--i] = static_cast<char>('0' + static_cast<int>(u % 10));
        u /= 10;
    } while (u);
    if (neg) tmp[--i] = '-';
    m.add(std::string_view(tmp + i, sizeof tmp - static_cast<size_t>(i)));
}

Wide floor_div(Wide a, Wide b) {
    Wide q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool raise_m7(const AccountArgs& a, Wide L) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    add_wide(m, L);
    m.add(" lone electrons are needed instead of ");
    if (!m.add_plain(a.lone)) return false;
    m.add(". To automatically modify to the appropriate number of lone electrons, please add 'auto_modify = "
          "True'.");
    replace_all(m.bytes(), "1 lone electrons", "1 lone electron");
    return raise_error(ErrorKind::LoneElectron, m, a.id);
}

bool raise_m8(const AccountArgs& a, Wide L, Wide load, int64_t capacity) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    add_wide(m, L);
    m.add(" Too many Bonds. These bonds need ");
    add_wide(m, 100 - floor_div(200 - load, 2));
    m.add(" molecular orbitals but only ");
    Ref avail = Ref::steal(PyFloat_FromDouble(static_cast<double>(capacity) / 2.0));
    if (!avail || !m.add_plain(avail.get())) return false;
    m.add(" are available.");
    return raise_error(ErrorKind::Bond, m, a.id);
}

// The shell-fitting walk as first described: conversions made at one released
// double bond carry on to the next. It is run only to produce its error.
bool raise_shell_error(const AccountArgs& a, bool auto_modify, Wide lone, Wide n, Wide b, Wide D,
                       int64_t capacity) {
    Wide L = lone, c = n;
    for (Wide d = 0;; ++d) {
        const Wide over = L + 2 * c - 2 * d - capacity;
        if (over > 0 && c > b) {
            const Wide k = std::min(over, c - b);
            L += k;
            c -= k;
        }
        if (!auto_modify && L != lone) return raise_m7(a, L);
        const Wide load = L + 2 * c - 2 * d;
        if (load <= capacity || d >= D) return raise_m8(a, L, load, capacity);
    }
}

}  // namespace

bool bond_num(const AccountArgs& a, Capacity* out) {
    if (!check_argument_type(a.element, Rule::Str, "element") || !check_argument_type(a.charge, Rule::Int, "charge") ||
        !check_argument_type(a.lone, Rule::Int, "lone_electron") || !check_argument_type(a.id, Rule::Int, "id_"))
        return false;
    const BigInt lone_in = read_int(a.lone);
    if (lone_in.value < 0) {
        Text m;
        if (!add_atom_tag(m, a.id)) return false;
        m.add("The number of lone electrons must be non-negative.");
        return raise_error(ErrorKind::LoneElectron, m, a.id);
    }
    EntryCount entries;
    if (!count_entries(a.existing, a.placeholders, &entries)) return false;

    ElementRow row;
    bool found = false;
    if (!lookup_element(a.cls, a.element, &row, &found)) return false;
    if (!found) {
        Text m;
        if (!add_atom_tag(m, a.id)) return false;
        m.add("Element '");
        if (!m.add_str(a.element)) return false;
        m.add("' not found. This element may not exist or it is currently not supported.");
        return fail_returning_id(ErrorKind::Element, m, a.id);
    }
    const BigInt charge = read_int(a.charge);
    // A charge beyond 64 bits is far outside every row: only its sign matters.
    const Wide v = charge.fits() ? Wide(row.valence) - charge.value : (charge.overflow > 0 ? -1 : Wide(row.capacity) + 1);
    if (v < 0) {
        Text m;
        if (!add_atom_tag(m, a.id)) return false;
        m.add("No enough valence electrons for the +");
        if (!m.add_plain(a.charge)) return false;
        m.add(" valence state (The maximum supported positive charge is +");
        m.add_int(row.valence);
        m.add(").");
        return fail_returning_id(ErrorKind::Charge, m, a.id);
    }
    if (v > row.capacity) {
        Text m;
        if (!add_atom_tag(m, a.id)) return false;
        m.add("No enough empty orbitals for the ");
        if (!m.add_plain(a.charge)) return false;
        m.add(" valence state (The maximum supported negative charge is -");
        add_wide(m, Wide(row.capacity) - row.valence);
        m.add(").");
        return fail_returning_id(ErrorKind::Charge, m, a.id);
    }
    const Wide b = entries.entries;
    if (v - b < 0) {
        Text m;
        if (!add_atom_tag(m, a.id)) return false;
        m.add("Too many Bonds (Only ");
        add_wide(m, v);
        m.add(" bonds can be formed, but there exist ");
        add_wide(m, b);
        m.add(" bonds).");
        replace_all(m.bytes(), "exist 1 bonds", "exists 1 bond");
        replace_all(m.bytes(), "1 bonds", "1 bond");
        return fail_returning_id(ErrorKind::Bond, m, a.id);
    }
    if (!lone_in.fits() || v - b < lone_in.value) {
        Text m;
        if (!add_atom_tag(m, a.id)) return false;
        m.add("No enough valence electrons for ");
        if (!m.add_plain(a.lone)) return false;
        m.add(" lone electrons (There are ");
        add_wide(m, v);
        m.add(" remaining valence electrons available).");
        replace_all(m.bytes(), "1 lone electrons", "1 lone electron");
        replace_all(m.bytes(), "1 remaining valence electrons", "1 remaining valence electron");
        return fail_returning_id(ErrorKind::Charge, m, a.id);
    }
    const Wide lone = lone_in.value;
    const Wide n = v - lone;
    const Wide cap = row.capacity;
    if (lone + 2 * n <= cap) {
        *out = {static_cast<int64_t>(n), static_cast<int64_t>(lone)};
        return true;
    }
    // Fit the shell with the fewest changes: the smallest number of released
    // double bonds d, and at that d the fewest hydrogen places k turned into
    // lone electrons (none at all without auto_modify).
    const int truth = PyObject_IsTrue(a.auto_modify);
    if (truth < 0) return false;
    const bool auto_modify = truth;
    const Wide D = entries.doubles;
    for (Wide d = 0; d <= D; ++d) {
        const Wide base = lone + 2 * n - 2 * d;
        const Wide k = auto_modify ? std::max<Wide>(0, base - cap) : 0;
        if (base - k <= cap && k <= n - b) {
            *out = {static_cast<int64_t>(n - k), static_cast<int64_t>(lone + k)};
            return true;
        }
    }
    return raise_shell_error(a, auto_modify, lone, n, b, D, row.capacity);
}

Ref remove_hydro(PyObject* bonds) {
    Ref kept = Ref::steal(PyList_New(0));
    if (!kept) return nullptr;
    Ref iter = Ref::steal(PyObject_GetIter(bonds));
    if (!iter) return nullptr;
    while (Ref entry = Ref::steal(PyIter_Next(iter.get()))) {
        Ref element = entry_element(entry.get());
        if (!element) return nullptr;
        if (!is_hydrogen_symbol(element.get())) {
            if (PyList_Append(kept.get(), entry.get()) < 0) return nullptr;
        }
    }
    if (PyErr_Occurred()) return nullptr;
    return kept;
}

}  // namespace atom
