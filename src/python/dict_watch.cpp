#include "python/dict_watch.hpp"

#include <array>

namespace atom {

// The one watcher, and which follower follows which dict: a short flat table,
// as every edit of a watched dict (each atom registered) is looked up in it.
struct DictWatcher {
    struct Subscription {
        PyObject* dict;  // borrowed: its deallocation is reported before it happens
        const DictFollower* follower;
    };
    std::array<Subscription, 16> table{};  // the module follows a handful of dicts
    size_t used = 0;
    int id = -1;  // -2 once the interpreter had none to give

    static DictWatcher& get() {
        static DictWatcher w;  // trivially destructible: nothing runs at exit
        return w;
    }

    static int on_event(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* new_value) {
        DictWatcher& w = get();
        for (size_t i = 0; i < w.used; ++i)
            if (w.table[i].dict == dict) w.table[i].follower->handler_(event, dict, key, new_value);
        if (event == PyDict_EVENT_DEALLOCATED) w.drop_all(dict);
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

    size_t find(PyObject* dict, const DictFollower* follower) const {
        for (size_t i = 0; i < used; ++i)
            if (table[i].dict == dict && (!follower || table[i].follower == follower)) return i;
        return used;
    }

    void drop(size_t i) {
        table[i] = table[used - 1];
        --used;
    }

    void drop_all(PyObject* dict) {
        for (size_t i = find(dict, nullptr); i < used; i = find(dict, nullptr)) drop(i);
    }
};

DictFollower::DictFollower(DictEventHandler handler) : handler_(handler) {}

bool DictFollower::follows(PyObject* dict) const {
    const DictWatcher& w = DictWatcher::get();
    return w.find(dict, this) < w.used;
}

bool DictFollower::follow(PyObject* dict) {
    if (follows(dict)) return true;
    DictWatcher& w = DictWatcher::get();
    if (!w.ready() || w.used == w.table.size()) return false;
    if (PyDict_Watch(w.id, dict) < 0) {
        PyErr_Clear();
        return false;
    }
    w.table[w.used++] = {dict, this};
    return true;
}

void DictFollower::unfollow(PyObject* dict) {
    DictWatcher& w = DictWatcher::get();
    const size_t i = w.find(dict, this);
    if (i == w.used) return;
    w.drop(i);
    if (w.find(dict, nullptr) == w.used && PyDict_Unwatch(w.id, dict) < 0) PyErr_Clear();
}

}  // namespace atom
