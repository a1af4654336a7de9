// Id draws that do not move the pool: inside an operation, draws and frees are
// recorded and the pool list is brought up to date once (see pool_batch.cpp).
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

// While a batch is open on this interpreter, draws on the standard generator's
// fast path are recorded instead of performed. Batches nest; the outermost one
// settles the pool when it closes.
class PoolBatch {
public:
    PoolBatch();
    ~PoolBatch();
    PoolBatch(const PoolBatch&) = delete;
    PoolBatch& operator=(const PoolBatch&) = delete;

    // Settles the pool and records nothing until it goes away: for code that
    // may run Python code anywhere (the setters, Python-level tables).
    class Suspend {
    public:
        Suspend();
        ~Suspend();
        Suspend(const Suspend&) = delete;
        Suspend& operator=(const Suspend&) = delete;

    private:
        int saved_depth_;
    };
};

// For a call from Python code into the module: settles, and records nothing
// for the operation it interrupts; returns what leave_to_python() restores.
int enter_from_python();
void leave_to_python(int saved);

// True while recorded draws or unbuilt hydrogens wait to be settled.
bool pool_unsettled();
// The hook run before a handle drops a last reference (python/ref.hpp):
// settles unless the object goes without running Python code.
void settle_before_release(PyObject* o);
// Whether releasing the last reference to `o` runs no Python code.
bool quiet_release(PyObject* o);

// Makes the pool list what the recorded pops and appends would have made it.
// Never fails; nothing to do when nothing is recorded.
void settle_pool();

// Nonzero while draws are recorded, and the same number until they settle: no
// Python code runs meanwhile, so what Python code could change (the class
// attributes) can be read once per session.
uint64_t record_session();
// True while a batch records (and no Suspend holds).
bool recording_pool();
// True when a draw on `pool` may be recorded now.
bool recording_draws(PyObject* pool);
// The pool's length as the recorded pops and appends leave it.
Py_ssize_t recorded_pool_size(PyObject* pool);
// pool.pop(index) recorded: the id at that position (0 <= index < size).
Ref record_pop(PyObject* pool, Py_ssize_t index);
// pool.append(id) recorded; false when it cannot be (then append for real
// after settle_pool()).
bool record_append(PyObject* pool, PyObject* id);

}  // namespace atom
