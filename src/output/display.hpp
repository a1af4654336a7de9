// The one-line display form of an atom, shared by __str__ and __repr__.
#pragma once

#include "python/ref.hpp"

namespace atom {

// "<Atom id=…, element=…, bonds=[id(El), …], charge=…, lone_electron=…>".
Ref display_text(PyObject* atom);

}  // namespace atom
