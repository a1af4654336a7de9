#include "output/formula_walk.hpp"

#include "output/line_printer.hpp"
#include "output/walk_common.hpp"
#include "python/foreign.hpp"
#include "registry/plain_registry.hpp"
#include "registry/tags.hpp"

#include <vector>

namespace atom {
namespace {

// val[element] += 1, on whatever object the tally is.
bool count_element(PyObject* tally, PyObject* atom) {
    Ref element = get_element(atom);
    if (!element) return false;
    Ref old = foreign::get_item(tally, element.get());
    Ref sum = old ? foreign::add_in_place(old.get(), g.const_one) : nullptr;
    return sum && foreign::set_item(tally, element.get(), sum.get());
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
            Ref sum = n ? foreign::add(old.get(), n.get()) : nullptr;
            if (!sum || !dict_store(tally, c.element.get(), sum.get())) return false;
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

// enter() of an atom plain_next found (or the start, confirmed), with a tally
// keyed by exact str.
int plain_enter(std::vector<Visit>& stack, Ref& atom, PyObject* tally, LocalCounts& counts) {
    PyObject* a = atom.get();
    PyObject* element = *slot_ptr(a, Slot::Element);
    PyObject* bonds = *slot_ptr(a, Slot::Bonds);
    PyObject* tag = *slot_ptr(a, Slot::AccessTag);
    if (stack.size() >= kMaxWalkDepth || !element || !PyUnicode_CheckExact(element) || !bonds ||
        !PyList_Check(bonds) || (tag != Py_False && tag != Py_True) || !counts.count(tally, element))
        return 0;
    mark_atom(a);
    stack.push_back({std::move(atom), Ref::borrow(bonds)});
    return 1;
}

// Depth-first from the start; each atom below it is printed once its own
// sub-walk is done (post-order). Python code run by print may change anything,
// so every atom and list is held, and lengths are re-read.
class FormulaWalk {
public:
    FormulaWalk(PyObject* tally, bool plain_tally) : tally_(tally), plain_(plain_tally), printer_(plain_tally) {}

    bool run(PyObject* self);
    // The lines due before a failure go out before it leaves; a failing write
    // came first in print order, so its error is the one raised. False.
    bool flush_after_failure() {
        SavedError failure;
        if (printer_.flush()) failure.restore();
        return false;
    }

private:
    bool start(PyObject* self);
    bool step(bool* done);

    PyObject* tally_;
    bool plain_;  // while true, every step so far was a plain one
    LinePrinter printer_;
    LocalCounts counts_;
    std::vector<Visit> stack_;
};

bool FormulaWalk::start(PyObject* self) {
    Ref atom = Ref::borrow(self);
    Ref map = plain_ ? plain_registry() : nullptr;
    const int entered = map && plain_confirmed(map.get(), self) ? plain_enter(stack_, atom, tally_, counts_) : 0;
    if (entered != 0) return entered > 0;
    plain_ = false;
    return enter(stack_, std::move(atom), tally_);
}

// One step down from the top visit: the next unmarked child entered, or
// *done when the top visit's list is finished.
bool FormulaWalk::step(bool* done) {
    Ref map = plain_ ? plain_registry() : nullptr;
    Ref child;
    const int found = map ? plain_next(stack_.back(), map.get(), &child) : 0;
    if (found == 0) {
        plain_ = false;
        if (!printer_.flush() || !next_unmarked(stack_.back(), &child)) return false;
        if (child && !confirm(child.get())) return false;
    }
    *done = !child;
    if (!child) return true;
    const int entered = found > 0 ? plain_enter(stack_, child, tally_, counts_) : 0;
    if (entered != 0) return entered > 0;
    plain_ = false;
    return printer_.flush() && enter(stack_, std::move(child), tally_);
}

bool FormulaWalk::run(PyObject* self) {
    if (!start(self)) return false;
    while (!stack_.empty()) {
        bool done = false;
        if (!step(&done)) return false;
        if (!done) continue;
        Ref finished = std::move(stack_.back().atom);
        stack_.pop_back();
        if (!stack_.empty() && !printer_.print(finished.get())) return false;
    }
    return counts_.add_to(tally_) && printer_.flush();
}

}  // namespace

bool walk_and_print(PyObject* self, PyObject* tally, bool plain_tally) {
    FormulaWalk walk(tally, plain_tally);
    return walk.run(self) || walk.flush_after_failure();
}

}  // namespace atom
