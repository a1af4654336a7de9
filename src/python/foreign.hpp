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

// Whether the instance's own dict has no entry `name` that would hide a
// method of its type (a dict with keys other than exact strs counts as one:
// looking into it could compare them in Python code).
inline bool no_instance_entry(PyObject* o, PyObject* name) {
    PyTypeObject* t = Py_TYPE(o);
    if (PyType_HasFeature(t, Py_TPFLAGS_MANAGED_DICT)) return false;
    PyObject** dict = t->tp_dictoffset ? _PyObject_GetDictPtr(o) : nullptr;
    if (!dict || !*dict) return true;
    if (!PyDict_CheckExact(*dict)) return false;
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(*dict, &pos, &key, &value))
        if (!PyUnicode_CheckExact(key) || PyUnicode_Compare(key, name) == 0) return false;
    return true;
}

// Whether o.name is the type's own descriptor of the kind given (a member or
// getter, which no instance entry can hide, or a method), on an immutable
// type that reads its attributes generically: then no Python code can have
// replaced or shadowed it, and reading or calling it runs the type's C code.
enum class Builtin : uint8_t { Data, Method };
inline bool builtin_descriptor(PyObject* o, PyObject* name, Builtin kind) {
    PyTypeObject* t = Py_TYPE(o);
    if (!PyType_HasFeature(t, Py_TPFLAGS_IMMUTABLETYPE) || t->tp_getattro != PyObject_GenericGetAttr) return false;
    PyObject* d = _PyType_Lookup(t, name);
    if (!d) return false;
    if (kind == Builtin::Data) return Py_IS_TYPE(d, &PyMemberDescr_Type) || Py_IS_TYPE(d, &PyGetSetDescr_Type);
    return Py_IS_TYPE(d, &PyMethodDescr_Type) && no_instance_entry(o, name);
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

// o.name(arg) for a method the caller has shown to run C code alone: a method
// of one of the interpreter's own types, on an exact instance whose parts it
// reaches are exact too (the io streams the line printer writes to).
inline Ref call_builtin_method(PyObject* o, PyObject* name, PyObject* arg) {
    return run(builtin_descriptor(o, name, Builtin::Method), [=] { return PyObject_CallMethodOneArg(o, name, arg); });
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

// o.name for an attribute the caller has shown to be read by C code alone: a
// member or getter of one of the interpreter's own types, on an exact
// instance whose parts the getter reads are exact too (the io streams the
// line printer writes to).
inline Ref get_builtin_attr(PyObject* o, PyObject* name) {
    return run(builtin_descriptor(o, name, Builtin::Data), [=] { return PyObject_GetAttr(o, name); });
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
