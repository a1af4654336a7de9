// Reading Python ints into machine integers without losing the sign of huge values.
#pragma once

#include <Python.h>

#include <cstdint>

namespace atom {

// The value of an exact or derived int. `overflow` is -1/+1 when the value does
// not fit (then `value` is clamped to the nearest bound), 0 otherwise.
struct BigInt {
    int64_t value = 0;
    int overflow = 0;
    bool fits() const { return overflow == 0; }
};

// Reads an int object (PyLong_Check must hold). Never fails.
inline BigInt read_int(PyObject* o) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (overflow > 0) return {INT64_MAX, 1};
    if (overflow < 0) return {INT64_MIN, -1};
    return {static_cast<int64_t>(v), 0};
}

}  // namespace atom
