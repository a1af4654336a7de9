// Breaking one bond entry between two atoms; each side gains a lone electron.
#pragma once

#include <Python.h>

namespace atom {

bool break_bond_with(PyObject* self, PyObject* atom, PyObject* break_bond_back);

}  // namespace atom
