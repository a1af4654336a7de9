#include "registry/plain_map.hpp"
#include "python/fast_paths.hpp"

#include "python/dict_watch.hpp"
#include "registry/tags.hpp"

namespace atom {
namespace {

using EntryTest = bool (*)(PyObject* key, PyObject* value);

struct Watch {
    EntryTest plain_entry;
    PyObject* dict = nullptr;  // borrowed; forgotten when the dict goes away
    bool plain = false;
};

bool int_key(PyObject* key, PyObject*) { return PyLong_CheckExact(key); }
bool str_key_list_row(PyObject* key, PyObject* value) {
    return PyUnicode_CheckExact(key) && (!value || PyList_CheckExact(value));
}

Watch map_watch{int_key};
Watch table_watch{str_key_list_row};

bool scan(const Watch& w, PyObject* dict) {
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(dict, &pos, &key, &value))
        if (!w.plain_entry(key, value)) return false;
    return true;
}

void on_event(Watch& w, PyDict_WatchEvent event, PyObject* key, PyObject* new_value) {
    switch (event) {
        case PyDict_EVENT_ADDED:
        case PyDict_EVENT_MODIFIED:
            if (!w.plain_entry(key, new_value)) w.plain = false;
            break;
        case PyDict_EVENT_CLONED:  // `key` is the dict whose entries are all copied in
            if (w.plain) w.plain = key && PyDict_Check(key) && scan(w, key);
            break;
        case PyDict_EVENT_CLEARED:
            w.plain = true;
            break;
        case PyDict_EVENT_DEALLOCATED:
            w.dict = nullptr;
            w.plain = false;
            break;
        default:
            break;
    }
}

int on_dict_event(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* new_value) {
    for (Watch* w : {&map_watch, &table_watch})
        if (dict == w->dict) on_event(*w, event, key, new_value);
    note_registry_edit(event, dict, key, new_value);
    if (event == PyDict_EVENT_DEALLOCATED) registry_follower().forget(dict);
    return 0;
}


// Without a watcher every answer is "no".
bool start_watching(Watch& w, PyObject* dict) {
    if (w.dict) registry_follower().unfollow(w.dict);
    w.dict = nullptr;
    if (!registry_follower().follow(dict)) return false;
    w.dict = dict;
    w.plain = scan(w, dict);
    return w.plain;
}

bool is_plain(Watch& w, PyObject* dict) {
    if (!fast_path(FastPath::PlainKeys)) return false;
    return dict == w.dict ? w.plain : start_watching(w, dict);
}

}  // namespace

DictFollower& registry_follower() {
    static DictFollower& follower = *new DictFollower(on_dict_event);
    return follower;
}

bool map_keys_are_ints(PyObject* map) { return is_plain(map_watch, map); }

bool table_entries_are_plain(PyObject* table) { return is_plain(table_watch, table); }

}  // namespace atom
