#include "python/dict_watch.hpp"

#include <algorithm>
#include <new>

namespace atom {

// The one watcher and the followers it reports to.
struct DictWatcher {
    std::vector<DictFollower*> followers;
    int id = -1;  // -2 once the interpreter had none to give

    static DictWatcher& get() {
        static DictWatcher& w = *new DictWatcher;  // never destroyed: the interpreter may outlive statics
        return w;
    }

    static int on_event(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* new_value) {
        for (DictFollower* f : get().followers) {
            if (!f->follows(dict)) continue;
            f->handler_(event, dict, key, new_value);
            if (event == PyDict_EVENT_DEALLOCATED) std::erase(f->dicts_, dict);
        }
        return 0;
    }

    bool ready() {
        if (id == -1) {
            id = PyDict_AddWatcher(on_event);
            if (id < 0) {
                PyErr_Clear();
                id = -2;
            }
        }
        return id >= 0;
    }

    bool followed(PyObject* dict) const {
        return std::any_of(followers.begin(), followers.end(), [dict](DictFollower* f) { return f->follows(dict); });
    }
};

DictFollower::DictFollower(DictEventHandler handler) : handler_(handler) {
    DictWatcher::get().followers.push_back(this);
}

bool DictFollower::follows(PyObject* dict) const {
    return std::find(dicts_.begin(), dicts_.end(), dict) != dicts_.end();
}

bool DictFollower::follow(PyObject* dict) {
    if (follows(dict)) return true;
    DictWatcher& w = DictWatcher::get();
    if (!w.ready()) return false;
    try {
        dicts_.reserve(dicts_.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (PyDict_Watch(w.id, dict) < 0) {
        PyErr_Clear();
        return false;
    }
    dicts_.push_back(dict);
    return true;
}

void DictFollower::unfollow(PyObject* dict) {
    if (!follows(dict)) return;
    std::erase(dicts_, dict);
    DictWatcher& w = DictWatcher::get();
    if (!w.followed(dict) && PyDict_Unwatch(w.id, dict) < 0) PyErr_Clear();
}

}  // namespace atom
