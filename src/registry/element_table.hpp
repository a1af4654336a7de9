// The element table: symbol -> [valence electrons, shell capacity].
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

// A new dict with the ten rows, carbon first, the rest alphabetical.
Ref make_element_table();

struct ElementRow {
    int64_t valence = 0;   // info[0]
    int64_t capacity = 0;  // info[1]
};

// cls.__element_info.get(element, None): false with an exception set on
// failure; *found is false when the element is not in the table.
bool lookup_element(PyObject* cls, PyObject* element, ElementRow* row, bool* found);

// Whether the table is a dict of str keys and [int, int, ...] lists, so that
// looking a str up in it runs no Python code. Never fails.
bool element_table_is_plain(PyObject* cls);

// The table's keys in table order (a new list).
Ref element_symbols(PyObject* cls);

}  // namespace atom
