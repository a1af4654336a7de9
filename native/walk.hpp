#pragma once

#include <Python.h>

// The list of atoms bonded to `start` directly or not, `start` first, found
// through `registry` (the id map); nullptr with an exception set on failure.
PyObject* walk_structure(PyObject* start, PyObject* registry);
