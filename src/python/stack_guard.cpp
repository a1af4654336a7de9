#include "python/stack_guard.hpp"

#include <cstdint>

#if defined(__GLIBC__)
#include <pthread.h>
#endif

namespace atom {
namespace {

// Python code run by a method (an entry's __str__, a replaced print, an
// __eq__) can call a method again, each round taking more C stack than the
// interpreter's recursion count allows for: a thread with a small stack would
// overflow before that count runs out. A call is refused while less than this
// (or a quarter of a smaller stack) is left of the calling thread's stack.
constexpr uintptr_t kStackReserve = 64 * 1024;

// The part of this thread's stack where a call is refused: from its lowest
// address up to `reserve` above it. Empty when the bounds are unknown.
struct StackEnd {
    uintptr_t low = 0;
    uintptr_t reserve = 0;
};

StackEnd find_stack_end() {
#if defined(__GLIBC__)
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return {};
    void* low = nullptr;
    size_t size = 0;
    const int rc = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0) return {};
    return {reinterpret_cast<uintptr_t>(low), size / 4 < kStackReserve ? size / 4 : kStackReserve};
#else
    return {};
#endif
}

}  // namespace

bool stack_left() {
    thread_local const StackEnd end = find_stack_end();
    // Unsigned: a frame outside this stack (code running on a stack of its
    // own) is never refused.
    if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - end.low >= end.reserve) return true;
    PyErr_SetString(PyExc_RecursionError, "maximum recursion depth exceeded while calling an Atom method");
    return false;
}

}  // namespace atom
