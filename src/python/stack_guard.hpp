// Refusing a call near the end of the calling thread's stack.
#pragma once

#include <Python.h>

namespace atom {

// True while enough of this thread's stack is left for a method call; else
// raises RecursionError.
bool stack_left();

}  // namespace atom
