#include "python/binder.hpp"

#include "python/function.hpp"

namespace atom {
namespace {

void count_error(const FunctionObject* f, bool too_many, Py_ssize_t given) {
    const int total = f->method->count;
    const bool has_defaults = f->required < total;
    const char* how;
    int n;
    if (too_many) {
        how = has_defaults ? "at most" : "exactly";
        n = total;
    } else {
        how = has_defaults ? "at least" : "exactly";
        n = f->required;
    }
    PyErr_Format(PyExc_TypeError, "%s() takes %s %d positional argument%s (%zd given)", f->method->name, how,
                 n, n == 1 ? "" : "s", given);
}

bool same_name(PyObject* key, PyObject* name) {
    return key == name || (PyUnicode_Check(key) && PyUnicode_Compare(key, name) == 0);
}

// Index of the parameter called `key`, or -1.
int find_param(const FunctionObject* f, PyObject* key) {
    const int total = f->method->count;
    for (int i = 0; i < total; ++i)
        if (f->names[i] == key) return i;
    if (!PyUnicode_Check(key)) return -1;
    for (int i = 0; i < total; ++i)
        if (PyUnicode_Compare(key, f->names[i]) == 0) return i;
    return -1;
}

PyObject* find_keyword(PyObject* name, PyObject* kwnames, PyObject* const* kwvalues) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t j = 0; j < nkw; ++j)
        if (PyTuple_GET_ITEM(kwnames, j) == name) return kwvalues[j];
    for (Py_ssize_t j = 0; j < nkw; ++j)
        if (same_name(PyTuple_GET_ITEM(kwnames, j), name)) return kwvalues[j];
    return nullptr;
}

bool check_keywords(const FunctionObject* f, Py_ssize_t nargs, PyObject* kwnames) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t j = 0; j < nkw; ++j) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, j);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", f->method->name);
            return false;
        }
        const int p = find_param(f, key);
        if (p < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", f->method->name, key);
            return false;
        }
        if (p < nargs) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", f->method->name,
                         key);
            return false;
        }
    }
    return true;
}

bool check_types(const FunctionObject* f, PyObject* const* out) {
    const MethodSpec& s = *f->method;
    for (int i = 1; i < s.count; ++i)
        if (!check_argument_type(out[i], s.params[i].rule, s.params[i].name)) return false;
    return true;
}

}  // namespace

bool bind(const FunctionObject* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
    const int total = f->method->count;
    if (nargs > total) {
        count_error(f, true, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    const bool has_keywords = kwnames && PyTuple_GET_SIZE(kwnames) > 0;
    for (int i = static_cast<int>(nargs); i < total; ++i) {
        PyObject* v = has_keywords ? find_keyword(f->names[i], kwnames, args + nargs) : nullptr;
        if (!v) v = f->defaults[i];
        if (!v) {
            count_error(f, false, i);
            return false;
        }
        out[i] = v;
    }
    if (has_keywords && !check_keywords(f, nargs, kwnames)) return false;
    return check_types(f, out);
}

PyObject* check_result(const FunctionObject* f, PyObject* r) {
    Ref result = Ref::steal(r);
    if (!result || !check_result_type(result.get(), f->method->result)) return nullptr;
    return result.release();
}

bool check_argument_type(PyObject* v, Rule rule, const char* name) {
    if (rule == Rule::Any) return true;
    const bool ok = rule == Rule::Str ? PyUnicode_CheckExact(v) : PyLong_CheckExact(v);
    if (ok) return true;
    PyErr_Format(PyExc_TypeError, "Argument '%s' has incorrect type (expected %s, got %.200s)", name,
                 rule == Rule::Str ? "str" : "int", Py_TYPE(v)->tp_name);
    return false;
}

bool check_result_type(PyObject* v, Result rule) {
    if (rule == Result::Any || v == Py_None) return true;
    const bool ok = rule == Result::Int ? PyLong_CheckExact(v) : PyUnicode_CheckExact(v);
    if (ok) return true;
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", rule == Result::Int ? "int" : "unicode",
                 Py_TYPE(v)->tp_name);
    return false;
}

}  // namespace atom
