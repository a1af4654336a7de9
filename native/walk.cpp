// The atoms of a structure, walked through the registry as Python code would
// (the `bonds` attribute, the id map), with an explicit stack.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "walk.hpp"

namespace {

// Adds the registered atoms that `atom`'s bonds name and `found` lacks.
bool visit(PyObject* atom, PyObject* registry, PyObject* found, PyObject* order, std::vector<PyObject*>& waiting) {
    static PyObject* bonds_name = PyUnicode_InternFromString("bonds");
    PyObject* bonds = PyObject_GetAttr(atom, bonds_name);
    if (!bonds) return false;
    PyObject* entries = PySequence_Fast(bonds, "an atom's bonds must be a sequence");
    Py_DECREF(bonds);
    if (!entries) return false;
    bool ok = true;
    // Indexed afresh each time: a strange id's __eq__ may change the list.
    for (Py_ssize_t i = 0; ok && i < PySequence_Fast_GET_SIZE(entries); ++i) {
        PyObject* id = PySequence_Fast_GET_ITEM(entries, i);
        Py_INCREF(id);
        int seen = PyDict_Contains(found, id);
        PyObject* neighbour = seen == 0 ? PyDict_GetItemWithError(registry, id) : nullptr;
        if (seen < 0 || (neighbour == nullptr && PyErr_Occurred())) {
            ok = false;
        } else if (neighbour) {  // a bond to an atom deleted alone leads nowhere
            ok = PyDict_SetItem(found, id, neighbour) == 0 && PyList_Append(order, neighbour) == 0;
            waiting.push_back(neighbour);  // held by `order`
        }
        Py_DECREF(id);
    }
    Py_DECREF(entries);
    return ok;
}

}  // namespace

PyObject* walk_structure(PyObject* start, PyObject* registry) {
    if (!PyDict_Check(registry)) {
        PyErr_SetString(PyExc_TypeError, "the registry must be a dict");
        return nullptr;
    }
    PyObject* id = PyObject_GetAttrString(start, "id");
    PyObject* found = PyDict_New();
    PyObject* order = PyList_New(0);
    bool ok = id && found && order && PyDict_SetItem(found, id, start) == 0 && PyList_Append(order, start) == 0;
    std::vector<PyObject*> waiting{start};
    while (ok && !waiting.empty()) {
        PyObject* atom = waiting.back();
        waiting.pop_back();
        ok = visit(atom, registry, found, order, waiting);
    }
    Py_XDECREF(id);
    Py_XDECREF(found);
    if (!ok) Py_CLEAR(order);
    return order;
}
