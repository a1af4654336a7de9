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
    if (PyDict_Watch(id_, dict) < 0) {
        PyErr_Clear();
        return false;
    }
    return true;
}

void DictFollower::unfollow(PyObject* dict) {
    if (id_ >= 0 && PyDict_Unwatch(id_, dict) < 0) PyErr_Clear();
}

}  // namespace atom
