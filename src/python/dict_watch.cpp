#include "python/dict_watch.hpp"

namespace atom {

bool DictFollower::follow(PyObject* dict) {
    if (id_ == -1) {
        id_ = PyDict_AddWatcher(callback_);
        if (id_ < 0) {
            PyErr_Clear();
            id_ = -2;
        }
    }
    if (id_ < 0) return false;
    for (auto& [d, users] : users_) {
        if (d != dict) continue;
        ++users;
        return true;
    }
    if (PyDict_Watch(id_, dict) < 0) {
        PyErr_Clear();
        return false;
    }
    users_.emplace_back(dict, 1);
    return true;
}

void DictFollower::unfollow(PyObject* dict) {
    for (auto it = users_.begin(); it != users_.end(); ++it) {
        if (it->first != dict) continue;
        if (--it->second > 0) return;
        users_.erase(it);
        if (PyDict_Unwatch(id_, dict) < 0) PyErr_Clear();
        return;
    }
}

void DictFollower::forget(PyObject* dict) {
    for (auto it = users_.begin(); it != users_.end(); ++it) {
        if (it->first != dict) continue;
        users_.erase(it);
        return;
    }
}

}  // namespace atom
