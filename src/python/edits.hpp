// Container and slot edits that drop what they replace or remove: the old
// value is held in a handle across the edit and released after it, when the
// container is whole again, through the rule of python/ref.hpp.
#pragma once

#include "python/ref.hpp"
#include "python/settle_hook.hpp"

#include <utility>

namespace atom {

// *field = new reference to v; the old value goes after the store.
inline void replace_field(PyObject** field, PyObject* v) { Ref old = Ref::steal(std::exchange(*field, Py_NewRef(v))); }

// list[i] = v for any list (a C-level store even on a subclass): steals v.
inline bool list_store(PyObject* list, Py_ssize_t i, Ref v) {
    if (i < 0 || i >= PyList_GET_SIZE(list)) {
        PyErr_SetString(PyExc_IndexError, "list assignment index out of range");
        return false;
    }
    Ref old = Ref::steal(std::exchange(reinterpret_cast<PyListObject*>(list)->ob_item[i], v.release()));
    return true;
}

// del seq[i]: in place on an exact list; a subclass's __delitem__ is Python code.
inline bool list_delete(PyObject* list, Py_ssize_t i) {
    if (!PyList_CheckExact(list)) {
        settle_before_python();
        return PySequence_DelItem(list, i) == 0;
    }
    Ref old = i >= 0 && i < PyList_GET_SIZE(list) ? Ref::borrow(PyList_GET_ITEM(list, i)) : nullptr;
    return PySequence_DelItem(list, i) == 0;
}

// dict[key] = value; a replaced value goes after the store.
inline bool dict_store(PyObject* dict, PyObject* key, PyObject* value) {
    Ref old = Ref::borrow(PyDict_GetItemWithError(dict, key));
    if (!old && PyErr_Occurred()) return false;
    return PyDict_SetItem(dict, key, value) == 0;
}

// del dict[key] where the caller knows that the entry's key is an exact int
// and its value an object the caller holds: the dict's references go at once,
// as neither can be the last of anything whose release runs code.
inline bool dict_delete_held(PyObject* dict, PyObject* key) { return PyDict_DelItem(dict, key) == 0; }

// del dict[key]; the value goes after the removal (taken out in one lookup).
inline bool dict_delete(PyObject* dict, PyObject* key) {
#if PY_VERSION_HEX >= 0x030D0000
    PyObject* taken = nullptr;
    const int found = PyDict_Pop(dict, key, &taken);
    Ref old = Ref::steal(taken);
    if (found == 0) PyErr_SetObject(PyExc_KeyError, key);  // as del would raise it for an id (not a tuple)
    return found > 0;
#else
    Ref old = Ref::steal(_PyDict_Pop(dict, key, nullptr));  // KeyError when missing
    return static_cast<bool>(old);
#endif
}

}  // namespace atom
