#pragma once

#include <Python.h>

// crowded(points, bonds) -> bool
PyObject* py_crowded(PyObject*, PyObject* const* args, Py_ssize_t nargs);
// place_hydrogens(neighbours, frame, points, bonds) -> [(atom, x, y), ...]
PyObject* py_place_hydrogens(PyObject*, PyObject* const* args, Py_ssize_t nargs);
// relax(points, bonds, held, whole, swing) -> [(x, y), ...]
PyObject* py_relax(PyObject*, PyObject* const* args, Py_ssize_t nargs);
// free_directions(angles, count) -> [angle, ...]
PyObject* py_free_directions(PyObject*, PyObject* const* args, Py_ssize_t nargs);
