#include "output/formula.hpp"

#include "python/ints.hpp"
#include "python/text.hpp"
#include "output/walk_common.hpp"
#include "registry/tags.hpp"
#include "registry/atoms.hpp"
#include "registry/element_table.hpp"

#include <vector>

namespace atom {
namespace {

// `print` as the module's code sees it: a global of the module first, then the
// builtin. Looked up at every use, so a replaced builtins.print is obeyed.
bool print_atom(PyObject* atom) {
    PyObject* globals = PyModule_GetDict(g.module);
    Ref print = Ref::borrow(globals ? PyDict_GetItemWithError(globals, g.names.print) : nullptr);
    if (!print) {
        if (PyErr_Occurred()) return false;
        // The builtins' own dict, as a name lookup reads it.
        print = Ref::borrow(PyDict_GetItemWithError(PyModule_GetDict(g.builtins), g.names.print));
        if (!print) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_NameError, "name 'print' is not defined");
            return false;
        }
    }
    return Ref::steal(PyObject_CallOneArg(print.get(), atom)).get() != nullptr;
}

PyObject* atom_class() { return reinterpret_cast<PyObject*>(g.atom_type); }

// A fresh tally: every element-table key, in table order, counting 0.
Ref new_tally() {
    Ref keys = element_symbols(atom_class());
    Ref tally = keys ? Ref::steal(PyDict_New()) : nullptr;
    if (!tally) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i)
        if (PyObject_SetItem(tally.get(), PyList_GET_ITEM(keys.get(), i), g.const_zero) < 0) return nullptr;
    return tally;
}

// val[element] += 1, on whatever object the tally is.
bool count_element(PyObject* tally, PyObject* atom) {
    Ref element = get_element(atom);
    if (!element) return false;
    Ref old = Ref::steal(PyObject_GetItem(tally, element.get()));
    Ref sum = old ? Ref::steal(PyNumber_InPlaceAdd(old.get(), g.const_one)) : nullptr;
    return sum && PyObject_SetItem(tally, element.get(), sum.get()) == 0;
}

// One atom of the walk: its bond list, held for the whole visit as a for loop
// over it would, and the next entry to look at.
struct Visit {
    Ref atom;
    Ref bonds;
    Py_ssize_t next = 0;
};

// The visit of an atom: mark it, count it, then its bond list.
bool enter(std::vector<Visit>& stack, Ref atom, PyObject* tally) {
    if (!walk_depth_ok(stack.size())) return false;
    mark_atom(atom.get());
    if (!count_element(tally, atom.get())) return false;
    Ref bonds = get_bonds(atom.get());
    if (!bonds) return false;
    stack.push_back({std::move(atom), std::move(bonds)});
    return true;
}

// The unmarked atom the top visit goes on to, or null when its list is done.
bool next_unmarked(Visit& v, Ref* child) {
    while (v.next < PyList_GET_SIZE(v.bonds.get())) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(v.bonds.get(), v.next++));
        const int found = unmarked_atom(entry.get(), child);
        if (found != 0) return found > 0;
    }
    child->reset();
    return true;
}

// Depth-first from `self`; each atom below the start is printed once its own
// sub-walk is done (post-order). Python code run by print may change anything,
// so every atom and list is held, and lengths are re-read.
bool walk(PyObject* self, PyObject* tally) {
    std::vector<Visit> stack;
    if (!enter(stack, Ref::borrow(self), tally)) return false;
    while (!stack.empty()) {
        Ref child;
        if (!next_unmarked(stack.back(), &child)) return false;
        if (child) {
            if (!confirm(child.get()) || !enter(stack, std::move(child), tally)) return false;
            continue;
        }
        Ref done = std::move(stack.back().atom);
        stack.pop_back();
        if (!stack.empty() && !print_atom(done.get())) return false;
    }
    return true;
}

// Hill order: with carbon, C and H first and the rest in table order;
// without carbon, plain table order (its C entry counts 0 and is not written).
Ref hill_order(PyObject* tally) {
    Ref keys = element_symbols(atom_class());
    Ref carbon = keys ? Ref::steal(PyObject_GetItem(tally, g.names.C)) : nullptr;
    const int has_carbon = carbon ? PyObject_RichCompareBool(carbon.get(), g.const_zero, Py_GT) : -1;
    if (has_carbon <= 0) return has_carbon < 0 ? nullptr : keys;
    Ref removed = Ref::steal(PyObject_CallMethodOneArg(keys.get(), g.names.remove, g.names.H));
    if (!removed) return nullptr;
    Ref order = Ref::steal(PyList_New(0));
    if (!order || PyList_Append(order.get(), g.names.C) < 0 || PyList_Append(order.get(), g.names.H) < 0)
        return nullptr;
    for (Py_ssize_t i = 1; i < PyList_GET_SIZE(keys.get()); ++i)
        if (PyList_Append(order.get(), PyList_GET_ITEM(keys.get(), i)) < 0) return nullptr;
    return order;
}

Ref write_formula(PyObject* tally) {
    Ref order = hill_order(tally);
    if (!order) return nullptr;
    Text out;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(order.get()); ++i) {
        Ref symbol = Ref::borrow(PyList_GET_ITEM(order.get(), i));
        Ref count = Ref::steal(PyObject_GetItem(tally, symbol.get()));
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
    const int entry = PyObject_IsTrue(top);
    if (entry < 0) return nullptr;
    Ref tally = entry ? (reset_all_tags() ? new_tally() : nullptr) : Ref::borrow(val);
    if (!tally || !walk(self, tally.get())) return nullptr;
    if (!entry) return Ref::borrow(g.names.empty);
    Ref formula = write_formula(tally.get());
    if (!formula || !reset_all_tags()) return nullptr;
    return formula;
}

}  // namespace atom
