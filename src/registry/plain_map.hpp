// Whether looking up or inserting in a class-wide dict can run Python code:
// id_map with an exact int key, the element table with an exact str key. Only
// a key of another type can (its __eq__ is called when its hash matches); the
// table's rows are read as lists. Kept by dict watchers on the last dict asked
// about; a new dict is scanned once.
#pragma once

#include "python/dict_watch.hpp"
#include "python/ref.hpp"

namespace atom {

// The one dict watcher of the registry's dicts (id_map, the element table):
// these checks and the tags' knowledge (tags.hpp) follow them through it.
DictFollower& registry_follower();

// True when every key of `map` is an exact int.
bool map_keys_are_ints(PyObject* map);

// True when every key of `table` is an exact str and every row an exact list.
bool table_entries_are_plain(PyObject* table);

}  // namespace atom
