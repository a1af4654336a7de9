#include "registry/tags.hpp"
#include "python/fast_paths.hpp"

#include "python/foreign.hpp"
#include "registry/plain_map.hpp"
#include "python/type_tag.hpp"
#include "registry/atoms.hpp"

#include <new>
#include <vector>

namespace atom {
namespace {

// A remembered atom: borrowed, with the id it was registered under when it
// was remembered. The book keeps nothing alive: an entry is dereferenced only
// once id_map is found to hold that very object under that id (then the map
// holds it), or while id_map has not been edited since the book was last
// empty (every entry was registered when it was remembered, and still is).
struct Remembered {
    PyObject* atom;
    Ref id;  // an exact int: dropping it runs no Python code
};

// What the module knows about the tags of registered atoms.
struct TagBook {
    std::vector<Remembered> maybe_set;  // atoms whose tag may be other than False
    PyObject* watched = nullptr;        // the id_map the watcher reports on (borrowed; cleared as it goes)
    Ref descriptor;                     // the access_tag descriptor installed in the class
    unsigned int class_tag = 0;         // the class's version tag when trust began; 0: no trust
    bool spoiled = false;               // trust was withdrawn since the last full scan began
    uint64_t edits = 0;                 // edits of the watched map the watcher has reported
    uint64_t emptied_at = 0;            // `edits` when a clearing last left the book empty
};
// Never destroyed: releasing its references after the interpreter has
// finalised would crash.
TagBook& book = *new TagBook;

// Past this many remembered atoms one scan of the registry is as cheap.
constexpr size_t kMaxRemembered = 20000;

// Forgets everything: nothing is released, as the book holds no reference.
// Out of line: rare, and the watcher's hot path stays small.
[[gnu::noinline]] void distrust() {
    book.class_tag = 0;
    book.spoiled = true;
    book.maybe_set.clear();
}

bool registering_stand_in = false;

bool trusted(PyObject* map) {
    return book.class_tag && book.class_tag == valid_version_tag(g.atom_type) && map == book.watched &&
           fast_path(FastPath::TagBook);
}

// Notes `atom`, registered under `id` in the watched map. Never runs Python
// code nor releases anything: the watcher calls it inside an edit.
[[gnu::always_inline]] inline void remember_registered(PyObject* atom, PyObject* id) {
    // Only an exact int is looked up again without Python code (its hash and
    // comparisons are the interpreter's own).
    if (book.maybe_set.size() >= kMaxRemembered || !PyLong_CheckExact(id)) return distrust();
    try {
        book.maybe_set.push_back(Remembered{atom, Ref::borrow(id)});
    } catch (const std::bad_alloc&) {
        distrust();
    }
}

// The atom an entry names, when id_map still holds it under that id.
PyObject* still_registered(PyObject* map, const Remembered& r) {
    PyObject* found = PyDict_GetItemWithError(map, r.id.get());  // int keys only: runs no Python code
    if (!found) PyErr_Clear();
    return found == r.atom ? found : nullptr;
}

}  // namespace

// Only records: an edit of id_map must not run Python code or release anything.
void note_registry_edit(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* value) {
    if (dict != book.watched) return;
    ++book.edits;
    if (event == PyDict_EVENT_ADDED || event == PyDict_EVENT_MODIFIED) {
        const bool stand_in = registering_stand_in && value == key;
        if (!PyLong_CheckExact(key) || !(is_atom(value) || stand_in))
            distrust();
        else if (!stand_in && *slot_ptr(value, Slot::Id) != key)
            distrust();  // an atom under another key than its id: only a full scan reaches it
        else if (!stand_in && *slot_ptr(value, Slot::AccessTag) != Py_False)
            remember_registered(value, key);
    } else if (event == PyDict_EVENT_CLONED) {
        distrust();
    } else if (event == PyDict_EVENT_DEALLOCATED) {
        distrust();
        book.watched = nullptr;
    }
    // atoms leaving the registry keep their tags; their entries go stale
}

namespace {

// Reports the edits of `map` from now on; false when no watcher can.
bool watch(PyObject* map) {
    if (map == book.watched) return true;
    if (book.watched) registry_follower().unfollow(book.watched);
    book.watched = nullptr;
    if (!registry_follower().follow(map)) return false;
    book.watched = map;
    return true;
}

// After a full scan that met only int keys and atoms, with `map` watched since
// before the scan: what is remembered from now on is all there is to clear,
// while the class keeps its attributes (its version tag) and this descriptor.
void trust(PyObject* map) {
    if (book.spoiled || map != book.watched) return;
    if (_PyType_Lookup(g.atom_type, slot_name(Slot::AccessTag)) != book.descriptor.get()) return;
    book.class_tag = valid_version_tag(g.atom_type);
}

// Sets every registered atom's tag to False, in id_map order, as reset_tags()
// always did; values that are not atoms get the attribute set.
bool clear_every_tag(PyObject* map_object) {
    Ref map = Ref::borrow(map_object);
    distrust();
    book.spoiled = false;
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
            if (!foreign::set_attr(held.get(), slot_name(Slot::AccessTag), Py_False)) return false;
        }
        if (PyDict_GET_SIZE(map.get()) != size) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
            return false;
        }
    }
    if (plain && watched) trust(map.get());
    if (book.maybe_set.empty()) book.emptied_at = book.edits;
    return true;
}

// Clears the remembered atoms still registered under the id they were
// remembered with; a stale entry names an atom that left the registry, whose
// tag reset_tags() does not touch. A tag other than True or False may run a
// finalizer as it is dropped: then the clearing is the full scan in id_map
// order, as reset_tags() always did.
bool clear_remembered(PyObject* map) {
    static std::vector<PyObject*>& live = *new std::vector<PyObject*>;
    live.clear();
    try {
        for (const Remembered& r : book.maybe_set) {
            PyObject* a = still_registered(map, r);
            if (!a) continue;
            PyObject* tag = *slot_ptr(a, Slot::AccessTag);
            if (tag != Py_True && tag != Py_False) return clear_every_tag(map);
            live.push_back(a);
        }
    } catch (const std::bad_alloc&) {
        return clear_every_tag(map);
    }
    // Looking up int keys ran no Python code: the atoms found are still held by the map.
    for (PyObject* a : live) slot_set(a, Slot::AccessTag, Py_False);  // bools are immortal
    book.maybe_set.clear();
    book.emptied_at = book.edits;
    return true;
}

// Trusted, and id_map not edited since the book was last empty: every entry
// names an atom registered when it was remembered, which the map still holds,
// so none needs looking up.
bool book_is_current() {
    return book.class_tag && book.class_tag == valid_version_tag(g.atom_type) && book.emptied_at == book.edits &&
           fast_path(FastPath::TagBook);
}

// Clears a current book's atoms. Python code run since (a walk's print) may
// have set tags; a tag other than a bool could run code as it is dropped, so
// then the clearing keeps id_map order (clear_remembered does).
bool clear_current_book() {
    for (const Remembered& r : book.maybe_set) {
        PyObject* tag = *slot_ptr(r.atom, Slot::AccessTag);
        if (tag != Py_True && tag != Py_False) {
            Ref map = Ref::borrow(book.watched);
            return clear_remembered(map.get());
        }
    }
    for (const Remembered& r : book.maybe_set)
        slot_set(r.atom, Slot::AccessTag, Py_False);  // bools are immortal: no drop runs code
    book.maybe_set.clear();
    return true;
}

}  // namespace

void remember_tag(PyObject* atom) {
    // Untrusted, the next clearing scans the registry anyway; a scan under
    // way (whose finalizers set this tag) must not end in trust. Trusted,
    // id_map holds int keys only, so looking an exact int up runs no Python code.
    if (!book.class_tag || book.class_tag != valid_version_tag(g.atom_type)) {
        book.spoiled = true;
        return;
    }
    // Only a registered atom needs its tag cleared; one registered under
    // another key than its id is beyond what the book can follow.
    PyObject* id = *slot_ptr(atom, Slot::Id);
    PyObject* found = id && PyLong_CheckExact(id) && book.watched ? PyDict_GetItemWithError(book.watched, id) : nullptr;
    if (!found) PyErr_Clear();
    if (found == atom) return remember_registered(atom, id);
    distrust();
}

void forget_settled_atom(PyObject* atom) {
    if (book.maybe_set.empty() || book.maybe_set.back().atom != atom) return;
    if (*slot_ptr(atom, Slot::AccessTag) != Py_False) return;
    book.maybe_set.pop_back();
}

void mark_atom(PyObject* atom) {
    PyObject* id = *slot_ptr(atom, Slot::Id);  // the walk has confirmed the atom under it
    remember_registered(atom, id);
    slot_set(atom, Slot::AccessTag, Py_True);
}

bool reset_all_tags() {
    if (book_is_current()) return clear_current_book();
    Ref map = registry_map();
    if (!map) return false;
    return trusted(map.get()) ? clear_remembered(map.get()) : clear_every_tag(map.get());
}

Ref plain_registry() {
    // Trust began with the watched map as Atom.id_map; while the class's
    // version tag stays, no class attribute has been assigned since.
    if (book.class_tag && book.class_tag == valid_version_tag(g.atom_type) && fast_path(FastPath::TagBook))
        return Ref::borrow(book.watched);
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
