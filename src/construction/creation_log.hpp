// The atoms a construction registers, recorded while a log is open, so that a
// reading that fails can take them back. A hydrogen registered without being
// built is recorded by its id.
#pragma once

#include "python/ref.hpp"

#include <vector>

namespace atom {

// While a log is open, every atom a construction on the same thread registers
// is recorded in it. Logs nest.
class CreationLog {
public:
    CreationLog();
    ~CreationLog();
    CreationLog(const CreationLog&) = delete;
    CreationLog& operator=(const CreationLog&) = delete;

    static void record(PyObject* atom);

    // Unregisters every recorded atom that is still registered, last created
    // first; the pending exception, if any, is kept.
    void take_back();

private:
    // Gives this log's atoms to the enclosing one (out of line: a nested reading is rare).
    [[gnu::noinline]] void hand_over();
    std::vector<Ref> atoms_;
    bool taken_back_ = false;
    CreationLog* previous_;
};

}  // namespace atom
