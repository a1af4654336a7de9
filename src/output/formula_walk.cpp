#include "output/formula_walk.hpp"

#include "output/line_printer.hpp"
#include "output/walk_common.hpp"
#include "registry/plain_registry.hpp"
#include "registry/tags.hpp"

#include <vector>

namespace atom {
namespace {

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

// The same steps read without Python code, in a plain registry: each returns
// 1 when done, 0 when it cannot be (nothing changed: the general step runs,
// after the kept lines are written), -1 on failure (out of memory).

// next_unmarked and the confirming of the child found.
int plain_next(Visit& v, PyObject* map, Ref* child) {
    PyObject* bonds = v.bonds.get();
    for (; v.next < PyList_GET_SIZE(bonds); ++v.next) {
        PyObject* a = plain_find(map, PyList_GET_ITEM(bonds, v.next));
        if (!a || !is_atom(a)) return 0;
        PyObject* tag = *slot_ptr(a, Slot::AccessTag);
        if (tag == Py_True) continue;
        if (tag != Py_False) return 0;
        // Found under the very object that is its id: that lookup confirmed it.
        if (*slot_ptr(a, Slot::Id) != PyList_GET_ITEM(bonds, v.next) && !plain_confirmed(map, a)) return 0;
        ++v.next;
        *child = Ref::borrow(a);
        return 1;
    }
    child->reset();
    return 1;
}

// Counts of the plain steps, kept per element object and added to the tally
// when the walk has succeeded: the tally is the entry call's own, which no
// other code sees before then.
class LocalCounts {
public:
    // Counts `element` when the tally has it as a key holding an int.
    bool count(PyObject* tally, PyObject* element) {
        for (Count& c : counts_) {
            if (c.element.get() == element) {
                ++c.n;
                return true;
            }
        }
        PyObject* present = PyDict_GetItemWithError(tally, element);
        if (!present || !PyLong_CheckExact(present)) return false;
        counts_.push_back({Ref::borrow(element), 1});
        return true;
    }

    bool add_to(PyObject* tally) const {
        for (const Count& c : counts_) {
            Ref old = Ref::borrow(PyDict_GetItemWithError(tally, c.element.get()));
            if (!old && !PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, c.element.get());
            Ref n = old ? Ref::steal(PyLong_FromLongLong(c.n)) : nullptr;
            Ref sum = n ? Ref::steal(PyNumber_Add(old.get(), n.get())) : nullptr;
            if (!sum || PyDict_SetItem(tally, c.element.get(), sum.get()) < 0) return false;
        }
        return true;
    }

private:
    struct Count {
        Ref element;
        int64_t n;
    };
    std::vector<Count> counts_;
};

// enter() of an atom plain_next found, with a tally keyed by exact str.
int plain_enter(std::vector<Visit>& stack, Ref& atom, PyObject* tally, LocalCounts& counts) {
    PyObject* a = atom.get();
    PyObject* element = *slot_ptr(a, Slot::Element);
    PyObject* bonds = *slot_ptr(a, Slot::Bonds);
    if (stack.size() >= kMaxWalkDepth || !element || !PyUnicode_CheckExact(element) || !bonds ||
        !PyList_Check(bonds) || !counts.count(tally, element))
        return 0;
    mark_atom(a);
    stack.push_back({std::move(atom), Ref::borrow(bonds)});
    return 1;
}

// One step down from the top visit: the next unmarked child entered, or
// *done when the top visit's list is finished.
bool step(std::vector<Visit>& stack, PyObject* tally, bool plain_tally, LinePrinter& printer, LocalCounts& counts,
          bool* done) {
    Ref map = plain_tally ? plain_registry() : nullptr;
    Ref child;
    const int found = map ? plain_next(stack.back(), map.get(), &child) : 0;
    if (found == 0) {
        if (!printer.flush() || !next_unmarked(stack.back(), &child)) return false;
        if (child && !confirm(child.get())) return false;
    }
    *done = !child;
    if (!child) return true;
    const int entered = found > 0 ? plain_enter(stack, child, tally, counts) : 0;
    if (entered != 0) return entered > 0;
    return printer.flush() && enter(stack, std::move(child), tally);
}

// Depth-first from `self`; each atom below the start is printed once its own
// sub-walk is done (post-order). Python code run by print may change anything,
// so every atom and list is held, and lengths are re-read.
bool walk(PyObject* self, PyObject* tally, bool plain_tally, LinePrinter& printer) {
    std::vector<Visit> stack;
    LocalCounts counts;
    if (!enter(stack, Ref::borrow(self), tally)) return false;
    while (!stack.empty()) {
        bool done = false;
        if (!step(stack, tally, plain_tally, printer, counts, &done)) return false;
        if (!done) continue;
        Ref finished = std::move(stack.back().atom);
        stack.pop_back();
        if (!stack.empty() && !printer.print(finished.get())) return false;
    }
    return counts.add_to(tally);
}

}  // namespace

bool walk_and_print(PyObject* self, PyObject* tally, bool plain_tally) {
    LinePrinter printer(plain_tally);
    const bool ok = walk(self, tally, plain_tally, printer);
    if (ok || !printer.keeping()) return ok && printer.flush();
    // The lines due before the failure go out before it leaves; a failing
    // write came first in print order, so its error is the one raised.
    SavedError failure;
    if (!printer.flush()) return false;
    failure.restore();
    return false;
}

}  // namespace atom
