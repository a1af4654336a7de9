// Binding the arguments of a call to a method's parameters, as a Python
// function binds them, with the type checks of the parameters annotated "str"
// or "int" and of the getters' results.
#pragma once

#include "python/function_object.hpp"

namespace atom {

// Fills out[0..count) with borrowed references: the positional arguments, then
// keywords and defaults. Checks run in a fixed order: too many positional
// arguments, a missing required parameter, bad keywords, then types.
bool bind(const FunctionObject* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

// The result of a call, or null (exception set) when the method's result
// check refuses it; a refused result is released.
PyObject* check_result(const FunctionObject* f, PyObject* r);

}  // namespace atom
