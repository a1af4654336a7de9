// The drawing functions of brantor._native: Python sequences in, checked and
// copied (so that code run by a strange item cannot change them underneath),
// plain lists out. Faults in the arguments raise TypeError or ValueError.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <climits>
#include <cmath>
#include <new>

#include "draw.hpp"
#include "draw_module.hpp"

namespace {

using draw::Bond;
using draw::Point;

// Far beyond any layout, near enough that unit cells stay small integers.
constexpr double COORDINATE_LIMIT = 1e9;

// A new reference to the items of `sequence` as a tuple, or nullptr with TypeError.
PyObject* items_of(PyObject* sequence, const char* what) {
    if (!PySequence_Check(sequence) || PyUnicode_Check(sequence) || PyBytes_Check(sequence)) {
        PyErr_Format(PyExc_TypeError, "%s must be a sequence, not %.200s", what, Py_TYPE(sequence)->tp_name);
        return nullptr;
    }
    return PySequence_Tuple(sequence);
}

bool read_index(PyObject* item, std::size_t count, const char* what, int& index) {
    if (!PyLong_Check(item)) {
        PyErr_Format(PyExc_TypeError, "%s must hold ints, not %.200s", what, Py_TYPE(item)->tp_name);
        return false;
    }
    long value = PyLong_AsLong(item);
    if (value == -1 && PyErr_Occurred()) return false;
    if (value < 0 || static_cast<unsigned long>(value) >= count) {
        PyErr_Format(PyExc_ValueError, "%s: %ld is not the position of one of the %zu atoms", what, value, count);
        return false;
    }
    index = static_cast<int>(value);
    return true;
}

bool read_coordinate(PyObject* item, double& value) {
    value = PyFloat_AsDouble(item);
    if (value == -1.0 && PyErr_Occurred()) return false;
    if (!(std::fabs(value) <= COORDINATE_LIMIT)) {
        PyErr_SetString(PyExc_ValueError, "coordinates must be finite numbers of moderate size");
        return false;
    }
    return true;
}

// Each item through `read_item(item, out)`; false with an exception set at the first that fails.
template <class Read>
bool read_each(PyObject* sequence, const char* what, Read read_item) {
    PyObject* items = items_of(sequence, what);
    if (!items) return false;
    bool ok = true;
    for (Py_ssize_t k = 0; ok && k < PyTuple_GET_SIZE(items); ++k) ok = read_item(PyTuple_GET_ITEM(items, k));
    Py_DECREF(items);
    return ok;
}

bool read_points(PyObject* sequence, std::vector<Point>& points) {
    return read_each(sequence, "points", [&](PyObject* item) {
        PyObject* pair = items_of(item, "a point");
        if (!pair) return false;
        Point p{0, 0};
        bool ok = PyTuple_GET_SIZE(pair) == 2;
        if (!ok) PyErr_SetString(PyExc_ValueError, "a point must be an (x, y) pair");
        ok = ok && read_coordinate(PyTuple_GET_ITEM(pair, 0), p.x) && read_coordinate(PyTuple_GET_ITEM(pair, 1), p.y);
        Py_DECREF(pair);
        if (ok) points.push_back(p);
        return ok;
    });
}

// A sequence of sequences of atom positions below `count`; `length` (if not -1) is the length of each.
bool read_index_lists(PyObject* sequence, std::size_t count, Py_ssize_t length, const char* what,
                      std::vector<std::vector<int>>& lists) {
    return read_each(sequence, what, [&](PyObject* item) {
        PyObject* indices = items_of(item, what);
        if (!indices) return false;
        bool ok = length < 0 || PyTuple_GET_SIZE(indices) == length;
        if (!ok) PyErr_Format(PyExc_ValueError, "%s must hold pairs of atom positions", what);
        lists.emplace_back();
        for (Py_ssize_t k = 0; ok && k < PyTuple_GET_SIZE(indices); ++k) {
            int index = 0;
            ok = read_index(PyTuple_GET_ITEM(indices, k), count, what, index);
            lists.back().push_back(index);
        }
        Py_DECREF(indices);
        return ok;
    });
}

bool read_bonds(PyObject* sequence, std::size_t count, std::vector<Bond>& bonds) {
    std::vector<std::vector<int>> pairs;
    if (!read_index_lists(sequence, count, 2, "bonds", pairs)) return false;
    for (const auto& pair : pairs) bonds.push_back({pair[0], pair[1]});
    return true;
}

bool read_indices(PyObject* sequence, std::size_t count, const char* what, std::vector<int>& indices) {
    return read_each(sequence, what, [&](PyObject* item) {
        int index = 0;
        bool ok = read_index(item, count, what, index);
        indices.push_back(index);
        return ok;
    });
}

bool read_flags(PyObject* sequence, std::vector<bool>& flags) {
    return read_each(sequence, "held", [&](PyObject* item) {
        int truth = PyObject_IsTrue(item);
        flags.push_back(truth > 0);
        return truth >= 0;
    });
}

bool read_angles(PyObject* sequence, std::vector<double>& angles) {
    return read_each(sequence, "angles", [&](PyObject* item) {
        double value = PyFloat_AsDouble(item);
        angles.push_back(value);
        return !(value == -1.0 && PyErr_Occurred());
    });
}

bool positional(Py_ssize_t nargs, Py_ssize_t wanted, const char* name) {
    if (nargs == wanted) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments (%zd given)", name, wanted, nargs);
    return false;
}

PyObject* point_list(const std::vector<Point>& points) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(points.size()));
    for (std::size_t k = 0; list && k < points.size(); ++k) {
        PyObject* item = Py_BuildValue("(dd)", points[k].x, points[k].y);
        if (!item) Py_CLEAR(list);
        else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), item);
    }
    return list;
}

// Runs `body`, turning a failed allocation into MemoryError: no C++ exception leaves this file.
template <class Body>
PyObject* guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

}  // namespace

PyObject* py_crowded(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        std::vector<Point> points;
        std::vector<Bond> bonds;
        if (!positional(nargs, 2, "crowded") || !read_points(args[0], points) ||
            !read_bonds(args[1], points.size(), bonds))
            return nullptr;
        return PyBool_FromLong(draw::crowded(points, bonds));
    });
}

PyObject* py_place_hydrogens(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!positional(nargs, 4, "place_hydrogens")) return nullptr;
        PyObject* items = items_of(args[0], "neighbours");
        if (!items) return nullptr;
        std::size_t count = static_cast<std::size_t>(PyTuple_GET_SIZE(items));
        Py_DECREF(items);
        std::vector<std::vector<int>> neighbours;
        std::vector<int> frame;
        std::vector<Point> points;
        std::vector<Bond> bonds;
        if (!read_index_lists(args[0], count, -1, "neighbours", neighbours) || neighbours.size() != count ||
            !read_indices(args[1], count, "frame", frame) || !read_points(args[2], points) ||
            !read_bonds(args[3], count, bonds)) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "the neighbour lists changed while read");
            return nullptr;
        }
        if (frame.size() != points.size()) {
            PyErr_SetString(PyExc_ValueError, "frame and points must be as long as each other");
            return nullptr;
        }
        auto placed = draw::place_hydrogens(neighbours, frame, points, bonds);
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(placed.size()));
        for (std::size_t k = 0; list && k < placed.size(); ++k) {
            PyObject* item = Py_BuildValue("(idd)", placed[k].first, placed[k].second.x, placed[k].second.y);
            if (!item) Py_CLEAR(list);
            else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), item);
        }
        return list;
    });
}

PyObject* py_relax(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        std::vector<Point> points;
        std::vector<Bond> bonds;
        std::vector<bool> held;
        if (!positional(nargs, 5, "relax") || !read_points(args[0], points) ||
            !read_bonds(args[1], points.size(), bonds) || !read_flags(args[2], held))
            return nullptr;
        int whole = PyObject_IsTrue(args[3]), swing = whole < 0 ? -1 : PyObject_IsTrue(args[4]);
        if (whole < 0 || swing < 0) return nullptr;
        if (held.size() != points.size()) {
            PyErr_SetString(PyExc_ValueError, "held must have a flag for each point");
            return nullptr;
        }
        return point_list(draw::relax(points, bonds, held, whole != 0, swing != 0));
    });
}

PyObject* py_free_directions(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        std::vector<double> angles;
        if (!positional(nargs, 2, "free_directions") || !read_angles(args[0], angles)) return nullptr;
        long count = PyLong_Check(args[1]) ? PyLong_AsLong(args[1]) : -1;
        if (count < 0 || count > INT_MAX) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "count must be an int from 0");
            return nullptr;
        }
        auto directions = draw::spread(draw::angular_gaps(angles), static_cast<int>(count));
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(directions.size()));
        for (std::size_t k = 0; list && k < directions.size(); ++k) {
            PyObject* item = PyFloat_FromDouble(directions[k]);
            if (!item) Py_CLEAR(list);
            else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), item);
        }
        return list;
    });
}
