#include "valence/python_free.hpp"
#include "python/fast_paths.hpp"

#include "registry/atoms.hpp"
#include "registry/element_table.hpp"

namespace atom {
namespace {

bool entries_are_plain(PyObject* existing) {
    if (!existing || existing == Py_None) return true;
    if (!PyList_CheckExact(existing)) return false;
    const bool atoms_by_identity = g.atom_type->tp_richcompare == PyBaseObject_Type.tp_richcompare;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(existing); ++i) {
        PyObject* item = PyList_GET_ITEM(existing, i);
        if (!PyLong_CheckExact(item) && !(atoms_by_identity && is_exact_atom(item))) return false;
    }
    return true;
}

}  // namespace

bool accounting_runs_no_python(const AccountArgs& a) {
    return PyUnicode_CheckExact(a.element) && PyLong_CheckExact(a.charge) && PyLong_CheckExact(a.lone) &&
           PyLong_CheckExact(a.id) && (PyBool_Check(a.auto_modify) || a.auto_modify == Py_None) &&
           entries_are_plain(a.existing) && element_table_is_plain(a.cls) && fast_path(FastPath::PlainAccounting);
}

}  // namespace atom
