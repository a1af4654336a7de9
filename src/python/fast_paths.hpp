// The fast paths, each a gate in front of a shortcut that must give what the
// general path gives. The build decides what a gate answers:
// - normal: every gate open;
// - ATOM_FAST_PATHS=OFF: every gate shut, so the suite runs the general paths;
// - ATOM_PROBE=ON: open, counting each time a shortcut engages; the counts
//   reach the tests through the module `_atom_probe` (module/probe.cpp). The
//   gates named in the environment variable ATOM_PROBE_SHUT (comma-separated)
//   stay shut, to run the suite with one shortcut off at a time.
// Several shortcuts rely on internals of the interpreter (type version tags,
// the generator's layout, what dict watchers report): on a version the suite
// has not been run on, every gate is shut.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace atom {

enum class FastPath : uint8_t {
    StandardDraws,     // randint computed in place, when it is the standard generator's
    GeneratorWords,    // getrandbits' words taken from the generator's state
    RecordedDraws,     // draws recorded and the pool compacted once per operation
    UnbuiltHydrogens,  // hydrogens a reading registers by id, built when looked at
    ClassAttrCache,    // Atom's class attributes kept while its version tag stands
    SessionAttrs,      // id_map and the pool read once while draws are recorded
    PlainKeys,         // dict watchers vouch for int keys and plain table rows
    TagBook,           // reset_tags() clears what was marked, not every atom
    HydrogenFill,      // a new atom's hydrogens registered without the constructor
    PlainCensus,       // the SMILES writer reads a neighbourhood without Python code
    PlainDisplay,      // display text built from the slots directly
    PlainAccounting,   // the bond accounting computed without Python code
    PlainElementTable, // the element table read as C data
    ReaderShortcuts,   // a reading passes what it knows to the constructor
    HeldEntryDelete,   // a confirmed atom's registry entry deleted without holding it apart
    Count
};

inline constexpr const char* kFastPathNames[] = {
    "StandardDraws", "GeneratorWords", "RecordedDraws", "UnbuiltHydrogens", "ClassAttrCache",
    "SessionAttrs",  "PlainKeys",      "TagBook",       "HydrogenFill",     "PlainCensus",
    "PlainDisplay",  "PlainAccounting", "PlainElementTable", "ReaderShortcuts", "HeldEntryDelete",
};
static_assert(std::size(kFastPathNames) == static_cast<std::size_t>(FastPath::Count));

#if defined(ATOM_PROBE)
inline uint64_t fast_path_counts[static_cast<std::size_t>(FastPath::Count)] = {};
inline bool fast_path_shut[static_cast<std::size_t>(FastPath::Count)] = {};
#endif

inline bool fast_path([[maybe_unused]] FastPath p) {
#if defined(ATOM_FAST_PATHS_OFF) || !(PY_VERSION_HEX >= 0x030C0000 && PY_VERSION_HEX < 0x030E0000)
    return false;
#else
#if defined(ATOM_PROBE)
    if (fast_path_shut[static_cast<std::size_t>(p)]) return false;
    ++fast_path_counts[static_cast<std::size_t>(p)];
#endif
    return true;
#endif
}

}  // namespace atom
