#include "output/formula.hpp"

#include "python/foreign.hpp"
#include "python/ints.hpp"
#include "python/text.hpp"
#include "output/formula_walk.hpp"
#include "registry/tags.hpp"
#include "registry/atoms.hpp"
#include "registry/element_table.hpp"

#include <vector>

namespace atom {
namespace {

PyObject* atom_class() { return reinterpret_cast<PyObject*>(g.atom_type); }

bool has_plain_keys(PyObject* tally) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(tally, &pos, &key, &value))
        if (!PyUnicode_CheckExact(key)) return false;
    return true;
}

// The last fresh tally built, to be copied while the table's keys are the
// same objects (held here, so no other object can take their place). Never
// destroyed: its references outlive the interpreter.
struct TallyTemplate {
    std::vector<Ref> keys;
    Ref tally;

    bool matches(PyObject* list) const {
        if (!tally || static_cast<size_t>(PyList_GET_SIZE(list)) != keys.size()) return false;
        for (size_t i = 0; i < keys.size(); ++i)
            if (PyList_GET_ITEM(list, static_cast<Py_ssize_t>(i)) != keys[i].get()) return false;
        return true;
    }
};
TallyTemplate& tally_template = *new TallyTemplate;

// A fresh tally: every element-table key, in table order, counting 0.
Ref new_tally() {
    Ref keys = element_symbols(atom_class());
    if (!keys) return nullptr;
    if (tally_template.matches(keys.get())) return Ref::steal(PyDict_Copy(tally_template.tally.get()));
    Ref tally = Ref::steal(PyDict_New());
    if (!tally) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i)
        if (!foreign::set_item(tally.get(), PyList_GET_ITEM(keys.get(), i), g.const_zero)) return nullptr;
    // Only exact str keys make a copy equal to a fresh build (no __hash__ or
    // __eq__ of their own to run).
    if (has_plain_keys(tally.get())) {
        Ref copy = Ref::steal(PyDict_Copy(tally.get()));
        if (!copy) return nullptr;
        tally_template.keys.clear();
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i)
            tally_template.keys.push_back(Ref::borrow(PyList_GET_ITEM(keys.get(), i)));
        tally_template.tally = std::move(copy);
    }
    return tally;
}

// Hill order: with carbon, C and H first and the rest in table order;
// without carbon, plain table order (its C entry counts 0 and is not written).
Ref hill_order(PyObject* tally) {
    Ref keys = element_symbols(atom_class());
    Ref carbon = keys ? foreign::get_item(tally, g.names.C) : nullptr;
    const int has_carbon = carbon ? foreign::compare(carbon.get(), g.const_zero, Py_GT) : -1;
    if (has_carbon <= 0) return has_carbon < 0 ? nullptr : keys;
    Ref removed = foreign::call_method(keys.get(), g.names.remove, g.names.H);
    if (!removed) return nullptr;
    Ref order = Ref::steal(PyList_New(0));
    if (!order || PyList_Append(order.get(), g.names.C) < 0 || PyList_Append(order.get(), g.names.H) < 0)
        return nullptr;
    for (Py_ssize_t i = 1; i < PyList_GET_SIZE(keys.get()); ++i)
        if (PyList_Append(order.get(), PyList_GET_ITEM(keys.get(), i)) < 0) return nullptr;
    return order;
}

// The Hill order of hill_order for a tally keyed by exact str, read without
// Python code: false (no error set) when that order needs the general path
// (no int under "C", no "H" to remove).
bool plain_hill_order(PyObject* tally, PyObject* keys, std::vector<PyObject*>* order) {
    PyObject* carbon = PyDict_GetItemWithError(tally, g.names.C);
    if (!carbon || !PyLong_CheckExact(carbon)) return false;
    const Py_ssize_t n = PyList_GET_SIZE(keys);
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!PyUnicode_CheckExact(PyList_GET_ITEM(keys, i))) return false;
    order->reserve(static_cast<size_t>(n) + 1);
    if (read_int(carbon).value <= 0) {
        for (Py_ssize_t i = 0; i < n; ++i) order->push_back(PyList_GET_ITEM(keys, i));
        return true;
    }
    Py_ssize_t hydrogen = 0;
    while (hydrogen < n && PyUnicode_Compare(PyList_GET_ITEM(keys, hydrogen), g.names.H) != 0) ++hydrogen;
    if (hydrogen == n) return false;
    order->push_back(g.names.C);
    order->push_back(g.names.H);
    // The keys without that "H", less their first entry.
    for (Py_ssize_t i = hydrogen == 0 ? 2 : 1; i < n; ++i)
        if (i != hydrogen) order->push_back(PyList_GET_ITEM(keys, i));
    return true;
}

// write_formula for a tally keyed by exact str (the entry call's own), without
// Python code; null with no error set when the general path must write it.
Ref plain_formula(PyObject* tally) {
    Ref keys = plain_element_symbols(atom_class());
    if (!keys) return nullptr;
    std::vector<PyObject*> order;
    if (!plain_hill_order(tally, keys.get(), &order)) return nullptr;
    Text out;
    for (PyObject* symbol : order) {
        PyObject* count = PyDict_GetItemWithError(tally, symbol);
        if (!count || !PyLong_CheckExact(count)) return nullptr;
        const BigInt n = read_int(count);
        if (n.value < 1) continue;
        if (!out.add_str(symbol)) return nullptr;
        if (n.value > 1 && !out.add_plain(count)) return nullptr;
    }
    return out.to_str();
}

Ref write_formula(PyObject* tally) {
    Ref order = hill_order(tally);
    if (!order) return nullptr;
    Text out;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(order.get()); ++i) {
        Ref symbol = Ref::borrow(PyList_GET_ITEM(order.get(), i));
        Ref count = foreign::get_item(tally, symbol.get());
        if (!count) return nullptr;
        // The tally is private to this call and holds exact ints only.
        const BigInt n = read_int(count.get());
        if (n.value < 1) continue;
        if (!out.add_str(symbol.get())) return nullptr;
        if (n.value > 1 && !out.add_plain(count.get())) return nullptr;
    }
    return out.to_str();
}

}  // namespace

Ref to_formula(PyObject* self, PyObject* top, PyObject* val) {
    if (!confirm(self)) return nullptr;
    const int entry = foreign::is_true(top);
    if (entry < 0) return nullptr;
    Ref tally = entry ? (reset_all_tags() ? new_tally() : nullptr) : Ref::borrow(val);
    // Only a tally of this call's own, keyed by exact str, is read without
    // Python code; a caller's tally makes every step a general one.
    const bool plain = entry && tally && has_plain_keys(tally.get());
    if (!tally || !walk_and_print(self, tally.get(), plain)) return nullptr;
    if (!entry) return Ref::borrow(g.names.empty);
    Ref formula = plain ? plain_formula(tally.get()) : nullptr;
    if (!formula && !PyErr_Occurred()) formula = write_formula(tally.get());
    if (!formula || !reset_all_tags()) return nullptr;
    return formula;
}

}  // namespace atom
