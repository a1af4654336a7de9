#include "smiles_reader/source.hpp"

namespace atom::smiles {

void Source::load(PyObject* text) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    chars_.resize(static_cast<size_t>(n));
    const int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    for (Py_ssize_t i = 0; i < n; ++i) chars_[static_cast<size_t>(i)] = PyUnicode_READ(kind, data, i);
    match_.assign(chars_.size(), npos);
    std::vector<size_t> open;
    for (size_t i = 0; i < chars_.size(); ++i) {
        if (chars_[i] == '(') {
            open.push_back(i);
        } else if (chars_[i] == ')' && !open.empty()) {
            match_[open.back()] = i;
            open.pop_back();
        }
    }
}

size_t Source::find(Py_UCS4 c, size_t from, size_t to) const {
    for (size_t i = from; i < to; ++i)
        if (chars_[i] == c) return i;
    return npos;
}

Ref Source::slice(size_t from, size_t to) const {
    if (to <= from) return Ref::steal(PyUnicode_New(0, 0));
    return Ref::steal(PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, chars_.data() + from,
                                                static_cast<Py_ssize_t>(to - from)));
}

}  // namespace atom::smiles
