// Following the edits of dicts. CPython gives an interpreter eight dict
// watchers, shared by every extension loaded into it; the module takes one,
// and each part of it that follows dicts is a DictFollower on that watcher.
#pragma once

#include "python/ref.hpp"

namespace atom {

// Gets every event of the dicts it follows. Runs inside the edit: it must not
// run Python code, fail, set an exception, or follow or unfollow a dict.
using DictEventHandler = void (*)(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* new_value);

// Followers live for the process: create them with new and never delete them.
class DictFollower {
public:
    explicit DictFollower(DictEventHandler handler);
    DictFollower(const DictFollower&) = delete;
    DictFollower& operator=(const DictFollower&) = delete;

    // Reports `dict`'s edits from now on (true at once when it already does);
    // false, with no error set, when the interpreter has no watcher left (or
    // the module follows too many dicts).
    bool follow(PyObject* dict);
    // Stops reporting them. A dict that goes away is unfollowed by itself,
    // after the handler has seen its PyDict_EVENT_DEALLOCATED.
    void unfollow(PyObject* dict);

    bool follows(PyObject* dict) const;

private:
    friend struct DictWatcher;
    DictEventHandler handler_;
};

}  // namespace atom
