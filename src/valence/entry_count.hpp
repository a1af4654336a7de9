// Counting a bond list as the accounting sees it: its entries, and the
// distinct atoms listed exactly twice (double bonds).
#pragma once

#include "python/ref.hpp"

namespace atom {

struct EntryCount {
    Py_ssize_t entries = 0;
    Py_ssize_t doubles = 0;  // distinct ids listed exactly twice
};

// `existing` is a list, None, or any object with copy/count/remove (counted
// through those methods); `placeholders` entries of one id that names no atom
// are added.
bool count_entries(PyObject* existing, int placeholders, EntryCount* out);

}  // namespace atom
