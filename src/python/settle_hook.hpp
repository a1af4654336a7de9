// Work deferred while no Python code can run (the pool's recorded draws, see
// registry/pool_batch.hpp) is completed through these hooks: by the code of
// this layer that may run Python code (building an error, writing a foreign
// object), and around every call from Python code into the module, which
// starts and ends with nothing deferred for the operation it interrupts.
#pragma once

#include <cstdint>

namespace atom {

using SettleHook = void (*)();
using EnterHook = int (*)();      // returns what the matching leave restores
using LeaveHook = void (*)(int);

inline SettleHook settle_hook = nullptr;

// Counts the points where Python code may have run inside the module (every
// settling, every release that can run a finalizer). Work planned while it
// stood still goes on only while it still stands; past such a point the rest
// of an operation takes the general path, which reads everything afresh.
inline uint64_t foreign_epoch = 0;
inline EnterHook enter_from_python_hook = nullptr;
inline LeaveHook leave_to_python_hook = nullptr;

// Called before anything that may run Python code.
inline void settle_before_python() {
    ++foreign_epoch;
    if (settle_hook) settle_hook();
}

// Held by a call from Python code into the module for its duration.
class CalledFromPython {
public:
    CalledFromPython() : saved_(enter_from_python_hook ? enter_from_python_hook() : 0) {}
    ~CalledFromPython() {
        if (leave_to_python_hook) leave_to_python_hook(saved_);
    }
    CalledFromPython(const CalledFromPython&) = delete;
    CalledFromPython& operator=(const CalledFromPython&) = delete;

private:
    int saved_;
};

}  // namespace atom
