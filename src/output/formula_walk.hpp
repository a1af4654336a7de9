// The walk of the formula writer: depth-first over bond lists from one atom,
// each atom counted in the tally when first reached and printed (all but the
// start) once its own sub-walk is done.
#pragma once

#include "python/ref.hpp"

namespace atom {

// `plain_tally`: the tally is the entry call's own, keyed by exact str, so its
// steps may be taken without Python code and the printed lines kept.
bool walk_and_print(PyObject* self, PyObject* tally, bool plain_tally);

}  // namespace atom
