// Following the edits of dicts through CPython's dict watchers. Each follower
// is one watcher of the interpreter (it has eight, shared by every extension):
// CPython itself then calls each follower only for the dicts it follows, with
// no search on the module's side, which matters as every atom registered is
// an edit of a followed dict.
#pragma once

#include "python/ref.hpp"

#include <utility>
#include <vector>

namespace atom {

// The callback is called inside the edit: it must not run Python code, fail
// or set an exception, and returns 0.
class DictFollower {
public:
    explicit DictFollower(PyDict_WatchCallback callback) : callback_(callback) {}
    DictFollower(const DictFollower&) = delete;
    DictFollower& operator=(const DictFollower&) = delete;

    // Reports `dict`'s edits from now on; false, with no error set, when the
    // interpreter has no watcher left. Several users may follow one dict.
    bool follow(PyObject* dict);
    // One user stops following it; the reports stop when the last one does.
    void unfollow(PyObject* dict);
    // The dict goes away (the callback's PyDict_EVENT_DEALLOCATED): it stops
    // being followed by itself.
    void forget(PyObject* dict);

private:
    PyDict_WatchCallback callback_;
    int id_ = -1;  // the watcher, taken on first use; -2 when none was left
    std::vector<std::pair<PyObject*, int>> users_;  // dicts followed (borrowed), with their users
};

}  // namespace atom
