// The function type used for every method of the module: a descriptor like a
// Python function, carrying defaults, annotations and a signature, called
// through vectorcall with one shared argument binder.
#pragma once

#include "python/ref.hpp"
#include "python/method_signature.hpp"

namespace atom {

// The binding-time type check of a parameter annotated "str" or "int", for
// internal calls that skip the binder: raises the binder's TypeError.
bool check_argument_type(PyObject* value, Rule rule, const char* name);

// The result check of the getters annotated "int" or "str" (None passes):
// raises the TypeError a refused result gets.
bool check_result_type(PyObject* value, Result rule);

// Creates the type; called once at initialisation.
bool init_function_type();

// A new function object for `method` (its table entry must outlive it: tables are static).
Ref make_function(const MethodSpec& method);

// The object to store in a class namespace: the function itself, or a
// classmethod wrapping it.
Ref make_class_member(const MethodSpec& method);

}  // namespace atom
