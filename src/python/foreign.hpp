// The C API operations that can run Python code: a call, a comparison, a truth
// test, str()/repr(), attribute and item access, arithmetic and sequence
// operations on objects the module does not own. Outside this folder the
// module reaches them only through these wrappers (a source rule of the test
// suite holds it to that), so no Python code ever meets recorded draws or
// unbuilt hydrogens: each wrapper settles first (python/settle_hook.hpp).
//
// Settling also moves the foreign epoch, which sends the rest of an operation
// to its general path. So where the operands are exact built-in types whose
// operation provably runs no Python code (no method of theirs can be replaced,
// no subclass can take over a reflected operation, nothing is released but
// exact ints and strs), a wrapper goes straight to the C API: the hot paths
// stay fast and keep their plans.
#pragma once

#include "python/ref.hpp"
#include "python/settle_hook.hpp"

#include <cstdint>
#include <type_traits>

namespace atom::foreign {

// Runs `call` (a C API call) after settling, unless `quiet`; a returned
// object is a new reference, taken into a handle.
template <class Call>
auto run(bool quiet, Call call) {
    if (!quiet) settle_before_python();
    if constexpr (std::is_same_v<decltype(call()), PyObject*>)
        return Ref::steal(call());
    else
        return call();
}

// --- Operands whose operations run no Python code ---

// An exact int or bool: arithmetic and comparisons among them are C code.
inline bool plain_int(PyObject* o) { return PyLong_CheckExact(o) || PyBool_Check(o); }

// Both exact ints (or bools), or both exact strs.
inline bool plain_pair(PyObject* a, PyObject* b) {
    return (plain_int(a) && plain_int(b)) || (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b));
}

// Truth read from a length or a value: no __bool__ or __len__ of a subclass.
inline bool plain_truth(PyObject* o) {
    return o == Py_None || plain_int(o) || PyUnicode_CheckExact(o) || PyList_CheckExact(o) ||
           PyTuple_CheckExact(o) || PyDict_CheckExact(o);
}

// --- Calls ---

inline Ref vectorcall(PyObject* f, PyObject* const* args, size_t nargsf, PyObject* kwnames = nullptr) {
    return run(false, [=] { return PyObject_Vectorcall(f, args, nargsf, kwnames); });
}

inline Ref call_one(PyObject* f, PyObject* arg) {
    return run(false, [=] { return PyObject_CallOneArg(f, arg); });
}

// f(*args, **kwargs), kwargs may be null.
inline Ref call(PyObject* f, PyObject* args, PyObject* kwargs) {
    return run(false, [=] { return PyObject_Call(f, args, kwargs); });
}

// f(...) with Py_BuildValue's format.
template <class... A>
Ref call_function(PyObject* f, const char* format, A... args) {
    return run(false, [=] { return PyObject_CallFunction(f, format, args...); });
}

// o.name() and o.name(arg), the name an interned str.
inline Ref call_method(PyObject* o, PyObject* name) {
    return run(false, [=] { return PyObject_CallMethodNoArgs(o, name); });
}

inline Ref call_method(PyObject* o, PyObject* name, PyObject* arg) {
    return run(false, [=] { return PyObject_CallMethodOneArg(o, name, arg); });
}

// o.name(...) with Py_BuildValue's format (nullptr: no arguments).
template <class... A>
Ref call_method(PyObject* o, const char* name, const char* format, A... args) {
    return run(false, [=] { return PyObject_CallMethod(o, name, format, args...); });
}

// --- Comparison and truth (1, 0, or -1 with an exception set) ---

// Identity answers == and != without a call.
inline int compare(PyObject* a, PyObject* b, int op) {
    const bool quiet = (a == b && (op == Py_EQ || op == Py_NE)) || plain_pair(a, b);
    return run(quiet, [=] { return PyObject_RichCompareBool(a, b, op); });
}

inline int is_true(PyObject* o) {
    return run(plain_truth(o), [=] { return PyObject_IsTrue(o); });
}

// --- Text forms ---

inline Ref str_of(PyObject* o) {
    return run(PyUnicode_CheckExact(o) || PyLong_CheckExact(o), [=] { return PyObject_Str(o); });
}

inline Ref repr_of(PyObject* o) {
    return run(PyUnicode_CheckExact(o) || PyLong_CheckExact(o), [=] { return PyObject_Repr(o); });
}

// --- Attributes (a getter, a metaclass or __getattr__ can be Python code) ---

inline Ref get_attr(PyObject* o, PyObject* name) {
    return run(false, [=] { return PyObject_GetAttr(o, name); });
}

inline Ref get_attr(PyObject* o, const char* name) {
    return run(false, [=] { return PyObject_GetAttrString(o, name); });
}

// Setting releases the old value as well: false with an exception set.
inline bool set_attr(PyObject* o, PyObject* name, PyObject* v) {
    return run(false, [=] { return PyObject_SetAttr(o, name, v) == 0; });
}

// --- Items, sequences, sizes and iteration ---

// o[key]: a dict's key may hash and compare in Python code.
inline Ref get_item(PyObject* o, PyObject* key) {
    return run(false, [=] { return PyObject_GetItem(o, key); });
}

// o[key] = v, releasing what it replaces: false with an exception set.
inline bool set_item(PyObject* o, PyObject* key, PyObject* v) {
    return run(false, [=] { return PyObject_SetItem(o, key, v) == 0; });
}

// An exact list or tuple: indexing, len() and iter() are C code.
inline bool plain_sequence(PyObject* o) { return PyList_CheckExact(o) || PyTuple_CheckExact(o); }

// o[i]
inline Ref item_at(PyObject* o, Py_ssize_t i) {
    return run(plain_sequence(o), [=] { return PySequence_GetItem(o, i); });
}

// o[i] = v, releasing what it replaces: false with an exception set.
inline bool set_item_at(PyObject* o, Py_ssize_t i, PyObject* v) {
    return run(false, [=] { return PySequence_SetItem(o, i, v) == 0; });
}

// `v in o`: 1, 0, or -1 with an exception set.
inline int contains(PyObject* o, PyObject* v) {
    return run(false, [=] { return PySequence_Contains(o, v); });
}

// list(o)
inline Ref to_list(PyObject* o) {
    return run(false, [=] { return PySequence_List(o); });
}

// len(o): -1 with an exception set.
inline Py_ssize_t size(PyObject* o) {
    return run(plain_sequence(o), [=] { return PyObject_Size(o); });
}

// iter(o), and next(it) (null at the end, with no exception set, or on failure).
inline Ref iter(PyObject* o) {
    return run(plain_sequence(o), [=] { return PyObject_GetIter(o); });
}

inline Ref next(PyObject* it) {
    const bool quiet = Py_IS_TYPE(it, &PyListIter_Type) || Py_IS_TYPE(it, &PyTupleIter_Type);
    return run(quiet, [=] { return PyIter_Next(it); });
}

// --- Arithmetic ---

inline Ref add(PyObject* a, PyObject* b) {
    return run(plain_int(a) && plain_int(b), [=] { return PyNumber_Add(a, b); });
}

// a += b
inline Ref add_in_place(PyObject* a, PyObject* b) {
    return run(plain_int(a) && plain_int(b), [=] { return PyNumber_InPlaceAdd(a, b); });
}

inline Ref subtract(PyObject* a, PyObject* b) {
    return run(plain_int(a) && plain_int(b), [=] { return PyNumber_Subtract(a, b); });
}

// int(o); an exact int or str converts in C code.
inline Ref to_int(PyObject* o) {
    return run(PyLong_CheckExact(o) || PyUnicode_CheckExact(o), [=] { return PyNumber_Long(o); });
}

}  // namespace atom::foreign
