#include "valence/entry_count.hpp"

#include "python/foreign.hpp"
#include "python/ints.hpp"
#include "python/state.hpp"
#include "registry/atoms.hpp"

#include <algorithm>
#include <vector>

namespace atom {
namespace {

// The doubles of a snapshot, with Python equality (list.count / list.remove semantics).
bool count_doubles_generic(std::vector<Ref> items, Py_ssize_t* doubles) {
    while (!items.empty()) {
        Ref first = items.front();
        std::vector<Ref> rest;
        Py_ssize_t same = 0;
        for (Ref& item : items) {
            const int eq = foreign::compare(item.get(), first.get(), Py_EQ);
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
    Ref copy = foreign::call_method(existing, g.names.copy);
    if (!copy) return false;
    for (;;) {
        const int nonempty = foreign::is_true(copy.get());
        if (nonempty < 0) return false;
        if (!nonempty) break;
        Ref first = foreign::item_at(copy.get(), 0);
        if (!first) return false;
        Ref count = foreign::call_method(copy.get(), g.names.count, first.get());
        if (!count) return false;
        const Py_ssize_t times = PyLong_Check(count.get()) ? PyLong_AsSsize_t(count.get()) : 1;
        if (times == -1 && PyErr_Occurred()) return false;
        if (times == 2) ++out->doubles;
        for (Py_ssize_t k = 0; k < std::max<Py_ssize_t>(times, 1); ++k) {
            Ref r = foreign::call_method(copy.get(), g.names.remove, first.get());
            if (!r) return false;
        }
    }
    out->entries = foreign::size(existing);
    return out->entries >= 0;
}

}  // namespace

bool count_entries(PyObject* existing, int placeholders, EntryCount* out) {
    if (existing && existing != Py_None) {
        Ref held = Ref::borrow(existing);
        if (PyList_CheckExact(existing) ? !count_list(existing, out) : !count_object(existing, out)) return false;
    }
    out->entries += placeholders;
    if (placeholders == 2) ++out->doubles;
    return true;
}

}  // namespace atom
