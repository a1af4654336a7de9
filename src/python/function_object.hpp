// The layout of the module's function objects, shared by the files that
// implement the function type, its binder and its signature.
#pragma once

#include "python/method_signature.hpp"

namespace atom {

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const MethodSpec* method;
    PyObject* dict;
    PyObject* names[kMaxParams];     // interned parameter names, self/cls first
    PyObject* defaults[kMaxParams];  // items of defaults_tuple (or null: required)
    PyObject* name;
    PyObject* qualname;
    PyObject* module;
    PyObject* doc;
    PyObject* defaults_tuple;
    PyObject* annotations;
    PyObject* signature;  // built on first use
    int required;         // parameters without a default, self/cls included
};

inline FunctionObject* as_function(PyObject* o) { return reinterpret_cast<FunctionObject*>(o); }

}  // namespace atom
