// The inspect.Signature of a function object, built from its table.
#pragma once

#include "python/function_object.hpp"
#include "python/ref.hpp"

namespace atom {

// Every parameter positional-or-keyword, annotations as the strings of the table.
Ref build_signature(const FunctionObject* f);

}  // namespace atom
