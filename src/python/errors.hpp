// The seven error classes and raising them from C++.
#pragma once

#include "python/ref.hpp"
#include "python/text.hpp"
#include "python/state.hpp"

namespace atom {

// Creates the seven classes, in order, and binds them on the module.
bool init_error_classes(PyObject* module);

// A new error instance built from a message and the atom concerned, without
// the argument validation that callers of the constructors get (resolving
// errors carry any value as `atom`). `atom` is ignored for IdError.
Ref new_error(ErrorKind kind, PyObject* message, PyObject* atom);

// raise Kind(message, atom); returns false for "exception set".
bool raise_error(ErrorKind kind, const Text& message, PyObject* atom);
// raise Kind(message, atom) from cause, outside any handler of the cause; a
// null cause is "from None".
bool raise_error_from(ErrorKind kind, const Text& message, PyObject* atom, Ref cause);
// raise Kind(message, atom) from caught, inside the handler of `caught`: it
// becomes the new error's context as well as its cause.
bool raise_error_from_caught(ErrorKind kind, const Text& message, PyObject* atom, Ref caught);

// True when the exception is an Exception (not only a BaseException).
bool is_ordinary_exception(PyObject* exc);

// Writes the message of a wrapped failure and sets the atom it names; false
// (exception set) when it cannot.
using DescribeFailure = bool (*)(const void* context, Text& message, Ref* atom);

// Turns the pending failure of a SMILES conversion into the conversion's own
// error: a SmilesError, or anything that is not an Exception, passes
// unchanged; any other Exception becomes a SmilesError raised from it, inside
// its handler. When the message cannot be written, that failure leaves with
// the caught exception as its context.
void wrap_conversion_failure(DescribeFailure describe, const void* context);

}  // namespace atom
