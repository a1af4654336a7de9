// The one-line display form of an atom, shared by __str__ and __repr__.
#pragma once

#include "python/ref.hpp"

#include <string>

namespace atom {

// "<Atom id=…, element=…, bonds=[id(El), …], charge=…, lone_electron=…>".
Ref display_text(PyObject* atom);

// The same text, built directly when the registry is plain and every value it
// reads has its plain type (ASCII element symbols, machine-sized ints).
Ref display_form(PyObject* atom);

// The class's str() and repr() slot: display_form. A walk that finds it in an
// atom's type knows that str(atom) is the module's own display text.
PyObject* display_slot(PyObject* self);

// Appends the display text of `atom` to `out` when it can be built without
// Python code; false (nothing appended, no error) otherwise. `map` is the
// registry, known to be plain.
bool add_plain_display(PyObject* atom, PyObject* map, std::string& out);

}  // namespace atom
