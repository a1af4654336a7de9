// Process-wide state of the module: the class, its slots, the error classes and
// the interned names the C++ code uses. The module is loaded into one
// interpreter once, so this lives in plain globals.
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

enum class Slot : uint8_t { AccessTag, Bonds, Charge, Element, Id, Lone, Count };
enum class ErrorKind : uint8_t { Atom, Bond, Charge, Element, Id, LoneElectron, Smiles, Count };

constexpr int kSlotCount = static_cast<int>(Slot::Count);
constexpr int kErrorCount = static_cast<int>(ErrorKind::Count);

// Interned str constants, created at initialisation and kept for the process.
struct Names {
    PyObject* id_map;
    PyObject* id_pool;
    PyObject* element_info;
    PyObject* random;
    PyObject* randint;
    PyObject* randrange;
    PyObject* randbelow;
    PyObject* getrandbits;
    PyObject* index;
    PyObject* print;
    PyObject* message;
    PyObject* atom;
    PyObject* copy;
    PyObject* count;
    PyObject* remove;
    PyObject* pop;
    PyObject* H;
    PyObject* C;
    PyObject* hydro;
    PyObject* lone_electron;
    PyObject* both;
    PyObject* empty;
    PyObject* slot_names[kSlotCount];
};

struct State {
    PyObject* module = nullptr;          // the one module object (strong)
    PyTypeObject* atom_type = nullptr;   // the class Atom (strong)
    Py_ssize_t slot_offset[kSlotCount] = {};
    PyObject* errors[kErrorCount] = {};  // the seven error classes (strong)
    PyObject* builtins = nullptr;        // the builtins module (strong)
    PyObject* const_zero = nullptr;      // int 0
    PyObject* const_one = nullptr;       // int 1
    PyObject* const_two = nullptr;       // int 2
    Names names = {};
};

extern State g;

inline PyObject* error_class(ErrorKind k) { return g.errors[static_cast<int>(k)]; }
inline Py_ssize_t slot_offset(Slot s) { return g.slot_offset[static_cast<int>(s)]; }
inline PyObject* slot_name(Slot s) { return g.names.slot_names[static_cast<int>(s)]; }

}  // namespace atom
