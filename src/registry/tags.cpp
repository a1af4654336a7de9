#include "registry/tags.hpp"

#include "python/dict_watch.hpp"
#include "python/type_tag.hpp"
#include "registry/atoms.hpp"

#include <new>
#include <vector>

namespace atom {
namespace {

// What the module knows about the tags of registered atoms.
struct TagBook {
    std::vector<Ref> maybe_set;  // atoms whose tag may be other than False
    Ref watched;                 // the id_map the watcher reports on
    Ref descriptor;              // the access_tag descriptor installed in the class
    unsigned int class_tag = 0;  // the class's version tag when trust began; 0: no trust
    bool spoiled = false;        // trust was withdrawn since the last full scan began
};
// Never destroyed: releasing its references after the interpreter has
// finalised would crash.
TagBook& book = *new TagBook;

// Past this many remembered atoms one scan of the registry is as cheap.
constexpr size_t kMaxRemembered = 20000;

void distrust() {
    book.class_tag = 0;
    book.spoiled = true;
}

bool registering_stand_in = false;

bool trusted(PyObject* map) {
    return book.class_tag && book.class_tag == valid_version_tag(g.atom_type) && map == book.watched.get();
}

// Drops the remembered atoms; dropping one may run Python code that remembers
// others, which go into the fresh list.
void forget_all() {
    std::vector<Ref> old;
    old.swap(book.maybe_set);
}

int on_registry_edit(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* value) {
    if (dict != book.watched.get()) return 0;
    if (event == PyDict_EVENT_ADDED || event == PyDict_EVENT_MODIFIED) {
        const bool stand_in = registering_stand_in && value == key;
        if (!PyLong_CheckExact(key) || !(is_atom(value) || stand_in))
            distrust();
        else if (!stand_in && *slot_ptr(value, Slot::AccessTag) != Py_False)
            remember_tag(value);
    } else if (event == PyDict_EVENT_CLONED) {
        distrust();
    }
    return 0;  // atoms leaving the registry keep their tags: nothing to note
}

DictFollower& follower = *new DictFollower(on_registry_edit);

// Reports the edits of `map` from now on; false when no watcher can.
bool watch(PyObject* map) {
    if (map == book.watched.get()) return true;
    if (book.watched) follower.unfollow(book.watched.get());
    book.watched.reset();
    if (!follower.follow(map)) return false;
    book.watched = Ref::borrow(map);
    return true;
}

// After a full scan that met only int keys and atoms, with `map` watched since
// before the scan: what is remembered from now on is all there is to clear,
// while the class keeps its attributes (its version tag) and this descriptor.
void trust(PyObject* map) {
    if (book.spoiled || map != book.watched.get()) return;
    if (_PyType_Lookup(g.atom_type, slot_name(Slot::AccessTag)) != book.descriptor.get()) return;
    book.class_tag = valid_version_tag(g.atom_type);
}

// Sets every registered atom's tag to False, in id_map order, as reset_tags()
// always did; values that are not atoms get the attribute set.
bool clear_every_tag(PyObject* map_object) {
    Ref map = Ref::borrow(map_object);
    distrust();
    book.spoiled = false;
    forget_all();
    const bool watched = watch(map.get());
    bool plain = true;
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    const Py_ssize_t size = PyDict_GET_SIZE(map.get());
    while (PyDict_Next(map.get(), &pos, &key, &value)) {
        plain = plain && PyLong_CheckExact(key);
        if (is_atom(value)) {
            slot_set(value, Slot::AccessTag, Py_False);
        } else {
            plain = false;
            Ref held = Ref::borrow(value);
            if (PyObject_SetAttr(held.get(), slot_name(Slot::AccessTag), Py_False) < 0) return false;
        }
        if (PyDict_GET_SIZE(map.get()) != size) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
            return false;
        }
    }
    if (plain && watched) trust(map.get());
    return true;
}

// Clears the remembered atoms that are registered under their id. One that is
// not, with a tag set, may be registered under another key: scan everything.
bool clear_remembered(PyObject* map) {
    std::vector<Ref> atoms;
    atoms.swap(book.maybe_set);
    for (const Ref& held : atoms) {
        PyObject* a = held.get();
        if (*slot_ptr(a, Slot::AccessTag) == Py_False) continue;
        PyObject* id = *slot_ptr(a, Slot::Id);
        // The map holds int keys only, so this lookup runs no Python code.
        PyObject* found = id && PyLong_CheckExact(id) ? PyDict_GetItemWithError(map, id) : nullptr;
        if (found != a) return clear_every_tag(map);
        slot_set(a, Slot::AccessTag, Py_False);
        // Dropping the old tag may have run Python code.
        if (!trusted(map)) return clear_every_tag(map);
    }
    atoms.clear();
    if (book.maybe_set.empty()) atoms.swap(book.maybe_set);  // keeps its room for the next walk
    return true;
}

}  // namespace

void remember_tag(PyObject* atom) {
    if (book.maybe_set.size() >= kMaxRemembered) {
        distrust();
        forget_all();
        return;
    }
    try {
        book.maybe_set.push_back(Ref::borrow(atom));
    } catch (const std::bad_alloc&) {
        distrust();
    }
}

void forget_settled_atom(PyObject* atom) {
    if (book.maybe_set.empty() || book.maybe_set.back().get() != atom) return;
    if (*slot_ptr(atom, Slot::AccessTag) != Py_False) return;
    book.maybe_set.pop_back();  // the atom stays referenced by its caller: no finalizer runs
}

void mark_atom(PyObject* atom) {
    remember_tag(atom);
    slot_set(atom, Slot::AccessTag, Py_True);
}

bool reset_all_tags() {
    Ref map = registry_map();
    if (!map) return false;
    return trusted(map.get()) ? clear_remembered(map.get()) : clear_every_tag(map.get());
}

bool clear_walk_marks() {
    if (!book.class_tag || book.class_tag != valid_version_tag(g.atom_type)) return reset_all_tags();
    for (const Ref& a : book.maybe_set) {
        if (*slot_ptr(a.get(), Slot::AccessTag) != Py_True) return reset_all_tags();
        slot_set(a.get(), Slot::AccessTag, Py_False);  // True is immortal: no drop runs code
    }
    book.maybe_set.clear();
    return true;
}

Ref plain_registry() {
    // Trust began with the watched map as Atom.id_map; while the class's
    // version tag stays, no class attribute has been assigned since.
    if (book.class_tag && book.class_tag == valid_version_tag(g.atom_type)) return book.watched;
    return nullptr;
}

bool start_tag_tracking(PyObject* descriptor) {
    book.descriptor = Ref::borrow(descriptor);
    return reset_all_tags();  // without a watcher every clearing scans
}

StandInRegistration::StandInRegistration() { registering_stand_in = true; }
StandInRegistration::~StandInRegistration() { registering_stand_in = false; }

void distrust_tags() { distrust(); }

}  // namespace atom
