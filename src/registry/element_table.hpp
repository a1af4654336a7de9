// The element table: symbol -> [valence electrons, shell capacity].
#pragma once

#include "python/ref.hpp"

#include <cstdint>
#include <vector>

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

// A row as read from a plain table; the symbol is borrowed from the table.
struct TableRow {
    PyObject* symbol;
    int64_t valence;
    int64_t capacity;
};

// The table's rows when it is a dict of str keys and [int, int, ...] lists,
// so that looking a str up in it runs no Python code; false (no error set)
// when it is not.
bool read_plain_table(PyObject* cls, std::vector<TableRow>* rows);
// Whether read_plain_table would give exactly `rows` (the same key objects),
// checked without building them.
bool plain_table_is(PyObject* cls, const std::vector<TableRow>& rows);

// True when looking an element up in cls's table runs no Python code: a plain
// dict of str keys and list rows.
bool element_table_is_plain(PyObject* cls);

// The row of `symbol` (an exact str) read without Python code: true when the
// table is plain and its row starts with two exact ints; false (no error set)
// otherwise, when the general lookup must answer.
bool plain_row(PyObject* cls, PyObject* symbol, ElementRow* row);

// The table's keys in table order (a new list).
Ref element_symbols(PyObject* cls);

// The same when the table is a dict, so that no Python code runs to list
// them; else null with no error set.
Ref plain_element_symbols(PyObject* cls);

}  // namespace atom
