#include "python/text.hpp"

#include "python/foreign.hpp"

#include <algorithm>
#include <charconv>

namespace atom {

Text& Text::add_int(int64_t v) {
    char tmp[24];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, v);
    buf_.append(tmp, res.ptr);
    return *this;
}

bool Text::add_str(PyObject* s) {
    if (!PyUnicode_Check(s)) {
        PyErr_Format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(s)->tp_name);
        return false;
    }
    if (PyUnicode_IS_ASCII(s)) {
        buf_.append(static_cast<const char*>(PyUnicode_DATA(s)),
                    static_cast<size_t>(PyUnicode_GET_LENGTH(s)));
        return true;
    }
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(s, &n);
    if (p) {
        buf_.append(p, static_cast<size_t>(n));
        return true;
    }
    PyErr_Clear();
    Ref bytes = Ref::steal(PyUnicode_AsEncodedString(s, "utf-8", "surrogatepass"));
    if (!bytes) return false;
    buf_.append(PyBytes_AS_STRING(bytes.get()), static_cast<size_t>(PyBytes_GET_SIZE(bytes.get())));
    return true;
}

bool Text::add_plain(PyObject* obj) {
    if (PyUnicode_CheckExact(obj)) return add_str(obj);
    if (PyLong_CheckExact(obj)) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
        if (!overflow) {
            add_int(v);
            return true;
        }
    }
    Ref s = foreign::str_of(obj);
    return s && add_str(s.get());
}

bool Text::add_repr(PyObject* obj) {
    Ref s = foreign::repr_of(obj);
    return s && add_str(s.get());
}

Ref Text::to_str() const {
    return Ref::steal(PyUnicode_DecodeUTF8(buf_.data(), static_cast<Py_ssize_t>(buf_.size()), "surrogatepass"));
}

bool add_tag(Text& m, std::string_view label, PyObject* value) {
    m.add('[').add(label).add(' ');
    if (!m.add_plain(value)) return false;
    m.add("] ");
    return true;
}

Ref ascii_str(std::string_view text) {
    Ref s = Ref::steal(PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127));
    if (s) std::copy(text.begin(), text.end(), static_cast<char*>(PyUnicode_DATA(s.get())));
    return s;
}

void replace_all(std::string& s, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    size_t pos = s.find(from);
    if (pos == std::string::npos) return;
    std::string out;
    out.reserve(s.size());
    size_t last = 0;
    while (pos != std::string::npos) {
        out.append(s, last, pos - last);
        out.append(to);
        last = pos + from.size();
        pos = s.find(from, last);
    }
    out.append(s, last, std::string::npos);
    s.swap(out);
}

}  // namespace atom
