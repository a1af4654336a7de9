// Work deferred while no Python code can run (the pool's recorded draws, see
// registry/pool_batch.hpp) is completed through this hook by the code of this
// layer that may run Python code: building an error, writing a foreign object.
#pragma once

namespace atom {

using SettleHook = void (*)();
inline SettleHook settle_hook = nullptr;

// Called before anything that may run Python code.
inline void settle_before_python() {
    if (settle_hook) settle_hook();
}

}  // namespace atom
