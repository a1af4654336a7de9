// What the formula and SMILES walks share: the bound on their explicit stacks
// and the reading of an atom's traversal mark.
#pragma once

#include "python/foreign.hpp"
#include "registry/atoms.hpp"

#include <cstddef>
#include <utility>

namespace atom {

// A structure holds at most 9000 atoms, so an honest walk stays far below this;
// only a walk that keeps unmarking what it visited (a print that resets the
// marks) gets here.
constexpr size_t kMaxWalkDepth = 100000;

// Raises RecursionError when one more frame would exceed the bound.
inline bool walk_depth_ok(size_t frames) {
    if (frames < kMaxWalkDepth) return true;
    PyErr_SetString(PyExc_RecursionError, "maximum recursion depth exceeded while walking a structure");
    return false;
}

// The truth of atom.access_tag: 1, 0, or -1 with an exception set (unset, or a
// value whose truth test fails).
inline int is_marked(PyObject* atom) {
    Ref tag = slot_ref(atom, Slot::AccessTag);
    return tag ? foreign::is_true(tag.get()) : -1;
}

// The atom a bond entry names, when it is not marked yet: 1 with *atom set,
// 0 when it is marked, -1 with an exception set.
inline int unmarked_atom(PyObject* entry, Ref* atom) {
    Ref a = resolve_atom(entry);
    const int marked = a ? is_marked(a.get()) : -1;
    if (marked != 0) return marked < 0 ? -1 : 0;
    *atom = std::move(a);
    return 1;
}

}  // namespace atom
