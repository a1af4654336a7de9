#include "registry/element_table.hpp"
#include "python/fast_paths.hpp"

#include "python/foreign.hpp"
#include "python/ints.hpp"
#include "registry/atoms.hpp"
#include "registry/plain_map.hpp"

namespace atom {
namespace {

struct Row {
    const char* symbol;
    int valence;
    int capacity;
};

constexpr Row kRows[] = {
    {"C", 4, 8}, {"Br", 7, 8}, {"Cl", 7, 8}, {"F", 7, 8}, {"H", 1, 2},
    {"I", 7, 8}, {"N", 5, 8},  {"O", 6, 8},  {"P", 5, 8}, {"S", 6, 8},
};

Ref table_of(PyObject* cls) { return class_attr(cls, g.names.element_info); }

bool row_number(PyObject* row, Py_ssize_t i, PyObject* element, int64_t* out) {
    Ref item = foreign::item_at(row, i);
    if (!item) return false;
    if (!PyLong_Check(item.get())) {
        PyErr_Format(PyExc_TypeError, "the element table row of '%U' must hold ints, not '%.200s'", element,
                     Py_TYPE(item.get())->tp_name);
        return false;
    }
    long long v = PyLong_AsLongLong(item.get());
    if (v == -1 && PyErr_Occurred()) return false;
    *out = v;
    return true;
}

}  // namespace

Ref make_element_table() {
    Ref table = Ref::steal(PyDict_New());
    if (!table) return nullptr;
    for (const Row& r : kRows) {
        Ref row = Ref::steal(Py_BuildValue("[ii]", r.valence, r.capacity));
        if (!row || PyDict_SetItemString(table.get(), r.symbol, row.get()) < 0) return nullptr;
    }
    return table;
}

bool lookup_element(PyObject* cls, PyObject* element, ElementRow* row, bool* found) {
    Ref table = table_of(cls);
    if (!table) return false;
    Ref info;
    if (PyDict_CheckExact(table.get())) {
        info = Ref::borrow(PyDict_GetItemWithError(table.get(), element));
        if (!info && PyErr_Occurred()) return false;
    } else {
        info = foreign::call_method(table.get(), "get", "OO", element, Py_None);
        if (!info) return false;
        if (info.get() == Py_None) info.reset();
    }
    *found = static_cast<bool>(info);
    if (!info) return true;
    if (PyList_CheckExact(info.get()) && PyList_GET_SIZE(info.get()) >= 2) {
        PyObject* a = PyList_GET_ITEM(info.get(), 0);
        PyObject* b = PyList_GET_ITEM(info.get(), 1);
        if (PyLong_CheckExact(a) && PyLong_CheckExact(b)) {
            row->valence = PyLong_AsLongLong(a);
            row->capacity = PyLong_AsLongLong(b);
            if (!PyErr_Occurred()) return true;
            return false;
        }
    }
    return row_number(info.get(), 0, element, &row->valence) && row_number(info.get(), 1, element, &row->capacity);
}

namespace {

// Visits the rows of cls's table as C data, in table order, when every key is
// an exact str and every row an exact list starting with two exact ints;
// false as soon as one is not, or `visit` says stop (no error set).
template <class Visit>
bool visit_plain_rows(PyObject* cls, Visit visit) {
    if (!fast_path(FastPath::PlainElementTable)) return false;
    Ref table = table_of(cls);
    if (!table) PyErr_Clear();
    if (!table || !PyDict_CheckExact(table.get())) return false;
    Py_ssize_t pos = 0;
    PyObject *key, *row;
    while (PyDict_Next(table.get(), &pos, &key, &row)) {
        if (!PyUnicode_CheckExact(key) || !PyList_CheckExact(row) || PyList_GET_SIZE(row) < 2) return false;
        PyObject* valence = PyList_GET_ITEM(row, 0);
        PyObject* capacity = PyList_GET_ITEM(row, 1);
        if (!PyLong_CheckExact(valence) || !PyLong_CheckExact(capacity)) return false;
        const TableRow r{key, PyLong_AsLongLong(valence), PyLong_AsLongLong(capacity)};
        if (PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
        if (!visit(r)) return false;
    }
    return true;
}

}  // namespace

bool read_plain_table(PyObject* cls, std::vector<TableRow>* rows) {
    return visit_plain_rows(cls, [rows](const TableRow& r) {
        rows->push_back(r);
        return true;
    });
}

bool plain_table_is(PyObject* cls, const std::vector<TableRow>& rows) {
    size_t i = 0;
    const bool same = visit_plain_rows(cls, [&rows, &i](const TableRow& r) {
        const bool match = i < rows.size() && rows[i].symbol == r.symbol && rows[i].valence == r.valence &&
                           rows[i].capacity == r.capacity;
        ++i;
        return match;
    });
    return same && i == rows.size();
}

Ref element_symbols(PyObject* cls) {
    Ref table = table_of(cls);
    if (!table) return nullptr;
    if (PyDict_Check(table.get())) return Ref::steal(PyDict_Keys(table.get()));
    Ref keys = foreign::call_method(table.get(), "keys", nullptr);
    return keys ? foreign::to_list(keys.get()) : nullptr;
}

Ref plain_element_symbols(PyObject* cls) {
    Ref table = table_of(cls);
    if (!table) PyErr_Clear();
    if (!table || !PyDict_Check(table.get())) return nullptr;
    return Ref::steal(PyDict_Keys(table.get()));
}

bool element_table_is_plain(PyObject* cls) {
    if (!fast_path(FastPath::PlainElementTable)) return false;
    Ref table = table_of(cls);
    if (!table) {
        PyErr_Clear();
        return false;
    }
    return PyDict_CheckExact(table.get()) && table_entries_are_plain(table.get());
}

bool plain_row(PyObject* cls, PyObject* symbol, ElementRow* row) {
    if (!fast_path(FastPath::PlainElementTable)) return false;
    Ref table = table_of(cls);
    if (!table) PyErr_Clear();
    if (!table || !PyDict_CheckExact(table.get()) || !table_entries_are_plain(table.get())) return false;
    // Exact str keys only: the lookup compares no key in Python code.
    PyObject* info = PyDict_GetItemWithError(table.get(), symbol);
    if (!info || !PyList_CheckExact(info) || PyList_GET_SIZE(info) < 2) {
        PyErr_Clear();
        return false;
    }
    // A row is a list Python code may have changed in place since the watcher saw it.
    PyObject* valence = PyList_GET_ITEM(info, 0);
    PyObject* capacity = PyList_GET_ITEM(info, 1);
    if (!PyLong_CheckExact(valence) || !PyLong_CheckExact(capacity)) return false;
    const BigInt v = read_int(valence);
    const BigInt c = read_int(capacity);
    if (!v.fits() || !c.fits()) return false;
    *row = ElementRow{v.value, c.value};
    return true;
}

}  // namespace atom
