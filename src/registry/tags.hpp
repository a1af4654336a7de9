// Traversal marks (access_tag). The walks and reset_tags() leave every
// registered atom's tag False; to make that cost what was marked rather than
// what is registered, the module remembers (without holding them) the atoms
// that can hold a tag other than False: those a walk marked, those Python code
// wrote through the class's access_tag descriptor while registered, and those
// registered while holding such a tag (seen by a watcher on id_map). Whenever that knowledge cannot be trusted (an
// attribute of the class was assigned, id_map was replaced, filled from
// another dict, or given a key that is not an int or a value that is not an
// atom) one full scan clears every registered atom and the knowledge restarts.
#pragma once

#include "python/ref.hpp"

namespace atom {

// An atom whose tag has just become False again, remembered last (as a new
// atom is when registered before its tag is set): no clearing needs it.
void forget_settled_atom(PyObject* atom);

// A walk's mark: access_tag = True, remembered for the next clearing.
void mark_atom(PyObject* atom);

// reset_tags(): every registered atom's access_tag becomes False. Costs what
// was marked since the last clearing while id_map is not edited (a walk's
// closing reset), a lookup per remembered atom otherwise.
bool reset_all_tags();

// Atom.id_map when it is known to hold only int keys and atoms, so that
// looking an exact int up in it runs no Python code; else null (no error set).
Ref plain_registry();

// A data descriptor for access_tag that reads and writes the slot exactly as
// the class's own slot member `member` does, and notes every write.
Ref make_tag_descriptor(PyObject* member);

// What the registry's dict watcher reports of an edit (plain_map.cpp): only
// records, never runs Python code nor releases anything.
void note_registry_edit(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* value);

// Watches id_map from now on; `descriptor` is the one the class holds.
bool start_tag_tracking(PyObject* descriptor);

// Notes that `atom` may now hold a tag other than False.
void remember_tag(PyObject* atom);

// While one is alive, id_map registrations of an id mapped to itself are a
// hydrogen's stand-in, replaced by the built atom before any Python code can
// look: they leave the knowledge of the tags intact.
class StandInRegistration {
public:
    StandInRegistration();
    ~StandInRegistration();
    StandInRegistration(const StandInRegistration&) = delete;
    StandInRegistration& operator=(const StandInRegistration&) = delete;
};

// A value the knowledge of the tags has not seen may stay registered (a
// stand-in that could not be built): the next clearing scans the registry.
void distrust_tags();

}  // namespace atom
