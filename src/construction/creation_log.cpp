#include "construction/creation_log.hpp"

#include "registry/atoms.hpp"
#include "registry/phantoms.hpp"

namespace atom {
namespace {

// Per thread: a reading on one thread may let another run (any call into
// Python can switch threads), and each thread's logs open and close in the
// order of its own calls.
thread_local CreationLog* open_log = nullptr;

}  // namespace

CreationLog::CreationLog() : previous_(open_log) {
    open_log = this;
    atoms_.reserve(64);
}
// A reading that Python code started inside another (from a replaced randint,
// a finalizer) registers its atoms within the outer one: should the outer one
// fail, they go with it.
CreationLog::~CreationLog() {
    open_log = previous_;
    if (previous_ && !taken_back_) hand_over();
}

void CreationLog::hand_over() {
    for (Ref& a : atoms_) previous_->atoms_.push_back(std::move(a));
}

void CreationLog::record(PyObject* atom) {
    if (open_log) open_log->atoms_.push_back(Ref::borrow(atom));
}

void CreationLog::take_back() {
    taken_back_ = true;
    SavedError e;
    for (auto it = atoms_.rbegin(); it != atoms_.rend(); ++it) {
        PyObject* atom = it->get();
        if (PyLong_CheckExact(atom)) {
            // A hydrogen recorded by its id before it was built.
            if (!delete_hydrogen_by_id(atom)) PyErr_Clear();
            continue;
        }
        Ref map = registry_map();
        // Held: looking the id up can run its __hash__, which may replace it.
        Ref id = map ? slot_ref(atom, Slot::Id) : nullptr;
        if (id && PyDict_GetItemWithError(map.get(), id.get()) == atom) delete_atom_object(atom);
        PyErr_Clear();
    }
    e.restore();
}

}  // namespace atom
