// Ref, the handle that owns PyObject references.
//
// Rules of use:
// - Every strong reference held by a function or an object of this code base
//   is a Ref: taken with Ref::steal (a C API call that returns a new
//   reference) or Ref::borrow (a borrowed pointer), released when the handle
//   goes. A new reference handed to a caller or to a stealing C API call is
//   taken with release() on a handle, or new_ref() for a reference the handle
//   keeps as well.
// - Raw owning pointers are allowed only for process-lifetime state: the
//   module's globals (python/state.hpp), the random fast path and the class
//   attribute cache (registry/), the function objects' own fields
//   (python/function_type.cpp, released by their dealloc). They are set once at
//   initialisation or replaced under the interpreter's lock, and are never
//   released while the process runs: the module cannot be unloaded, and
//   releasing them after the interpreter has finalised would crash.
// - A borrowed pointer (a list item, a dict value, a slot) is valid only until
//   the next call that can run Python code (an allocation can collect, a
//   comparison can call __eq__, a drop can run a finalizer). Hold it in a Ref
//   across any such call, and read the container again afterwards.
// - A null Ref returned from a function means "exception set".
// - Dropping the last reference to an object can run Python code (its
//   finalizer, a weakref callback, the same for everything it holds). Before
//   a handle drops one, last_release_hook lets the module make its state
//   whole (python/settle_hook.hpp), unless the object is a plain value;
//   container edits that drop what they replace hold it in a handle for that
//   (python/edits.hpp). reset_plain() skips the hook for the module's own
//   objects of plain values only, a claim the probe build checks.
// - A reader that runs no Python code may hold what it reads borrowed; one
//   code path serving both kinds of reader takes the hold as a type (hold()).
#pragma once

#include <Python.h>

#include <type_traits>
#include <utility>

namespace atom {

// Set by the layer that keeps deferred state; called with an object whose
// last reference is about to go.
using LastReleaseHook = void (*)(PyObject*);
inline LastReleaseHook last_release_hook = nullptr;

// A value whose deallocation runs no Python code: the interpreter's own
// plain types, exactly.
inline bool quiet_value(PyObject* o) noexcept {
    return PyLong_CheckExact(o) || PyUnicode_CheckExact(o) || PyFloat_CheckExact(o) || PyBool_Check(o) ||
           o == Py_None;
}

// Set by the same layer: whether releasing the object's last reference runs
// no Python code (the hook's own rule), for the probe build to check claims.
using QuietCheck = bool (*)(PyObject*);
inline QuietCheck quiet_release_check = nullptr;

// Drops the last reference to p, with the module's state made whole first
// unless p is a plain value (the hook decides for the rest). Out of line: every
// handle's destructor inlines only the test that leads here.
void release_last(PyObject* p) noexcept;

// Py_XDECREF, through release_last when it is the last reference.
inline void release_ref(PyObject* p) noexcept {
    if (!p) return;
    if (Py_REFCNT(p) == 1)
        release_last(p);
    else
        Py_DECREF(p);
}

// A strong reference to a Python object, released when the handle goes away.
// An empty handle (null) after a failed call means "exception set".
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}

    // Adopts a new reference (the result of a C API call returning one).
    static Ref steal(PyObject* p) noexcept { return Ref(p); }
    // Takes a new reference to a borrowed object.
    static Ref borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return Ref(p);
    }

    Ref(const Ref& other) noexcept : p_(other.p_) { Py_XINCREF(p_); }
    Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Ref& operator=(const Ref& other) noexcept {
        Ref tmp(other);
        swap(tmp);
        return *this;
    }
    Ref& operator=(Ref&& other) noexcept {
        Ref tmp(std::move(other));
        swap(tmp);
        return *this;
    }
    ~Ref() { release_ref(p_); }

    PyObject* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator==(const Ref& o) const noexcept { return p_ == o.p_; }

    // Hands the reference over to the caller (a C API slot that steals, or a return value).
    PyObject* release() noexcept {
        PyObject* p = p_;
        p_ = nullptr;
        return p;
    }
    // A new reference to the object held (null stays null), for a caller or a
    // stealing C API call, while the handle keeps its own.
    PyObject* new_ref() const noexcept { return Py_XNewRef(p_); }
    // Drops the reference now; the handle becomes empty.
    void reset() noexcept {
        PyObject* p = p_;
        p_ = nullptr;
        release_ref(p);
    }
    // Drops the reference to one of the module's own objects that holds only
    // plain values (a private tally, a fresh list of exact str), with no hook
    // to ask. The probe build aborts if the claim is wrong.
    void reset_plain() noexcept {
        PyObject* p = p_;
        p_ = nullptr;
#if defined(ATOM_PROBE)
        if (p && Py_REFCNT(p) == 1 && quiet_release_check && !quiet_release_check(p))
            Py_FatalError("a release claimed to run no Python code could");
#endif
        Py_XDECREF(p);
    }
    void swap(Ref& other) noexcept { std::swap(p_, other.p_); }

private:
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

// What a reader holds of what it reads: a Ref where Python code may run
// while it is held, a borrowed pointer where none can.
inline PyObject* raw(const Ref& r) noexcept { return r.get(); }
inline PyObject* raw(PyObject* p) noexcept { return p; }
template <class Held>
Held hold(PyObject* o) noexcept {
    if constexpr (std::is_same_v<Held, Ref>)
        return Ref::borrow(o);
    else
        return o;
}

// Keeps a pending exception aside while other calls run, and puts it back.
class SavedError {
public:
    SavedError() noexcept : exc_(Ref::steal(PyErr_GetRaisedException())) {}
    explicit operator bool() const noexcept { return static_cast<bool>(exc_); }
    PyObject* get() const noexcept { return exc_.get(); }
    Ref take() noexcept { return std::move(exc_); }
    // Raises the saved exception again, unchanged.
    void restore() noexcept { PyErr_SetRaisedException(exc_.release()); }

private:
    Ref exc_;
};

}  // namespace atom
