// The text being read, as code points, with the lookups the reader needs in
// one pass: matching parentheses are found once for the whole text.
#pragma once

#include "python/ref.hpp"

#include <string>
#include <vector>

namespace atom::smiles {

class Source {
public:
    // Reads the code points of a str (checked by the caller).
    void load(PyObject* text);

    size_t size() const { return chars_.size(); }
    Py_UCS4 at(size_t i) const { return chars_[i]; }
    // First position of `c` in [from, to), or npos.
    size_t find(Py_UCS4 c, size_t from, size_t to) const;
    // The ")" that closes the "(" at `open`, counting parentheses only; npos
    // when it is never closed.
    size_t closing(size_t open) const { return match_[open]; }
    // The characters [from, to) as a new str.
    Ref slice(size_t from, size_t to) const;

    static constexpr size_t npos = static_cast<size_t>(-1);

private:
    std::vector<Py_UCS4> chars_;
    std::vector<size_t> match_;
};

// A character that int() accepts on its own.
inline bool is_digit(Py_UCS4 c) { return Py_UNICODE_ISDECIMAL(c); }

}  // namespace atom::smiles
