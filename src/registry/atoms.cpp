#include "registry/atoms.hpp"
#include "python/fast_paths.hpp"

#include "python/errors.hpp"
#include "python/foreign.hpp"
#include "python/type_tag.hpp"
#include "python/function.hpp"
#include "registry/phantoms.hpp"
#include "registry/plain_map.hpp"
#include "registry/pool_batch.hpp"

#include <array>

namespace atom {

PyObject* slot_get(PyObject* a, Slot s) {
    PyObject* v = *slot_ptr(a, s);
    if (!v)
        PyErr_Format(PyExc_AttributeError, "'%.200s' object has no attribute '%U'", Py_TYPE(a)->tp_name,
                     slot_name(s));
    return v;
}

Ref bonds_list(PyObject* a) {
    PyObject* v = slot_get(a, Slot::Bonds);
    if (!v) return nullptr;
    if (!PyList_Check(v)) {
        PyErr_Format(PyExc_TypeError, "the bonds of an atom must be a list of atom ids, not '%.200s'",
                     Py_TYPE(v)->tp_name);
        return nullptr;
    }
    return Ref::borrow(v);
}

bool require_atom(PyObject* self) {
    if (is_atom(self)) return true;
    // A Python method would fail on the first attribute it reads.
    Ref id = foreign::get_attr(self, slot_name(Slot::Id));
    if (id)
        PyErr_Format(PyExc_TypeError, "this method needs an Atom instance as self, not '%.200s'",
                     Py_TYPE(self)->tp_name);
    return false;
}

namespace {

// Class attributes of Atom read on every operation (id_map, the pool, the
// element table), remembered while the class's version tag says that no
// attribute of the class has been assigned since.
struct CachedAttr {
    PyObject* name = nullptr;
    unsigned int tag = 0;
    Ref value;
};
// Never destroyed: releasing its references when the process exits, after the
// interpreter has finalised, would crash.
std::array<CachedAttr, 4>& attr_cache = *new std::array<CachedAttr, 4>;

Ref lookup_plain_attr(PyTypeObject* t, PyObject* name) {
    PyObject* v = _PyType_Lookup(t, name);
    if (v && !Py_TYPE(v)->tp_descr_get) return Ref::borrow(v);
    return nullptr;
}

// The cached value, borrowed, while the class's version tag says that nothing
// was assigned on it since it was read; else null. Inline: every registry read
// starts here.
inline PyObject* cached_atom_attr(PyObject* name) {
    const unsigned int tag = valid_version_tag(g.atom_type);
    for (const CachedAttr& c : attr_cache)
        if (c.name == name)
            return tag && c.tag == tag && fast_path(FastPath::ClassAttrCache) ? c.value.get() : nullptr;
    return nullptr;
}

Ref read_atom_attr(PyObject* name) {
    CachedAttr* slot = nullptr;
    for (CachedAttr& c : attr_cache) {
        if (c.name == name) {
            slot = &c;
            break;
        }
        if (!c.name && !slot) slot = &c;
    }
    Ref v = lookup_plain_attr(g.atom_type, name);
    if (v && slot) {
        slot->name = name;
        slot->tag = valid_version_tag(g.atom_type);
        slot->value = v;
    }
    return v;
}

[[gnu::noinline]] Ref uncached_class_attr(PyObject* cls, PyObject* name) {
    if (cls == reinterpret_cast<PyObject*>(g.atom_type)) {
        if (Ref v = read_atom_attr(name)) return v;
    } else if (PyType_Check(cls)) {
        if (Ref v = lookup_plain_attr(reinterpret_cast<PyTypeObject*>(cls), name)) return v;
    }
    return foreign::get_attr(cls, name);  // a descriptor or a metaclass
}

}  // namespace

Ref class_attr(PyObject* cls, PyObject* name) {
    if (cls == reinterpret_cast<PyObject*>(g.atom_type))
        if (PyObject* v = cached_atom_attr(name)) return Ref::borrow(v);
    return uncached_class_attr(cls, name);
}

namespace {

// The class attributes as read during the current record session. Borrowed:
// the class holds them until Python code runs, which ends the session.
struct SessionAttrs {
    uint64_t session = 0;
    PyObject* map = nullptr;
    PyObject* pool = nullptr;
};
SessionAttrs session_attrs;

// Remembers `value` for the session still running since `session` began.
void remember(uint64_t session, PyObject* SessionAttrs::*field, PyObject* value) {
    if (!session || record_session() != session) return;
    if (session_attrs.session != session) session_attrs = SessionAttrs{session};
    session_attrs.*field = value;
}

PyObject* remembered(uint64_t session, PyObject* SessionAttrs::*field) {
    const bool kept = session && session == session_attrs.session && fast_path(FastPath::SessionAttrs);
    return kept ? session_attrs.*field : nullptr;
}

Ref read_registry_map() {
    Ref map = class_attr(reinterpret_cast<PyObject*>(g.atom_type), g.names.id_map);
    if (map && !PyDict_Check(map.get())) {
        PyErr_Format(PyExc_TypeError, "Atom.id_map must be a dict, not '%.200s'", Py_TYPE(map.get())->tp_name);
        return nullptr;
    }
    // A key that is not an exact int can run Python code when compared.
    if (map && !map_keys_are_ints(map.get())) settle_before_python();
    return map;
}

}  // namespace

Ref registry_map() {
    const uint64_t session = record_session();
    if (PyObject* map = remembered(session, &SessionAttrs::map)) return Ref::borrow(map);
    Ref map = read_registry_map();
    if (map) remember(session, &SessionAttrs::map, map.get());
    return map;
}

Ref registry_pool() {
    settle_before_python();  // read to compare or call into
    return recorded_registry_pool();
}

Ref recorded_registry_pool() {
    const uint64_t session = record_session();
    if (PyObject* pool = remembered(session, &SessionAttrs::pool)) return Ref::borrow(pool);
    Ref pool = class_attr(reinterpret_cast<PyObject*>(g.atom_type), g.names.id_pool);
    if (pool && !PyList_Check(pool.get())) {
        PyErr_Format(PyExc_TypeError, "Atom._Atom__id_pool must be a list, not '%.200s'",
                     Py_TYPE(pool.get())->tp_name);
        return nullptr;
    }
    if (pool) remember(session, &SessionAttrs::pool, pool.get());
    return pool;
}

bool raise_nonexistent(PyObject* id) {
    Text m;
    if (!add_tag(m, "Non-existent Atom", id)) return false;
    m.add("Atom ");
    if (!m.add_plain(id)) return false;
    m.add(" does not exist.");
    return raise_error(ErrorKind::Atom, m, id);
}

bool confirm(PyObject* atom) {
    Ref id = slot_ref(atom, Slot::Id);
    if (!id) return false;
    Ref map = registry_map();
    if (!map) return false;
    PyObject* found = PyDict_GetItemWithError(map.get(), id.get());
    if (found == atom) return true;
    if (!found && PyErr_Occurred()) return false;
    return raise_nonexistent(id.get());
}

Ref get_atom(PyObject* obj) {
    if (is_exact_atom(obj)) {
        if (!confirm(obj)) return nullptr;
        return Ref::borrow(obj);
    }
    if (PyLong_CheckExact(obj)) {
        Ref map = registry_map();
        if (!map) return nullptr;
        PyObject* found = PyDict_GetItemWithError(map.get(), obj);
        if (found && PyLong_CheckExact(found) && is_unbuilt(found)) return build_hydrogen_now(found);
        if (found) return Ref::borrow(found);
        if (PyErr_Occurred()) return nullptr;
        raise_nonexistent(obj);
        return nullptr;
    }
    Text m("[Non-existent Atom ");
    if (!m.add_repr(obj)) return nullptr;
    m.add("] Please use an Atom object or an id to represent an atom.");
    raise_error(ErrorKind::Atom, m, obj);
    return nullptr;
}

Ref resolve_atom(PyObject* obj) {
    Ref a = get_atom(obj);
    if (a && !is_atom(a.get())) {
        PyErr_Format(PyExc_TypeError, "the registry maps this id to a '%.200s', not to an Atom",
                     Py_TYPE(a.get())->tp_name);
        return nullptr;
    }
    return a;
}

Ref get_atom_id(PyObject* obj) {
    if (is_exact_atom(obj)) return get_id(obj);
    Ref a = get_atom(obj);
    if (!a) return nullptr;
    return Ref::borrow(obj);
}

namespace {

// The slot with the result check of its getter, for an atom just confirmed.
Ref confirmed_slot(PyObject* atom, Slot s, Result rule) {
    PyObject* v = slot_get(atom, s);
    if (!v || !check_result_type(v, rule)) return nullptr;
    return Ref::borrow(v);
}

// A getter: confirm, read the slot, then the result check of its method.
Ref checked_getter(PyObject* atom, Slot s, Result rule) {
    if (!confirm(atom)) return nullptr;
    return confirmed_slot(atom, s, rule);
}

}  // namespace

Ref get_id(PyObject* atom) { return checked_getter(atom, Slot::Id, Result::Int); }
Ref get_element(PyObject* atom) { return checked_getter(atom, Slot::Element, Result::Str); }
Ref get_charge(PyObject* atom) { return checked_getter(atom, Slot::Charge, Result::Int); }
Ref get_lone(PyObject* atom) { return checked_getter(atom, Slot::Lone, Result::Int); }
Ref get_bonds(PyObject* atom) {
    if (!confirm(atom)) return nullptr;
    return bonds_list(atom);
}

Ref resolved_element(PyObject* entry, PyObject* atom) {
    // The id_map lookup that found the atom under the very object that is its
    // id already confirms it.
    const bool confirmed = PyLong_CheckExact(entry) && *slot_ptr(atom, Slot::Id) == entry;
    return confirmed ? confirmed_slot(atom, Slot::Element, Result::Str) : get_element(atom);
}

bool entry_atom_element(PyObject* entry, Ref* atom, Ref* element) {
    *atom = resolve_atom(entry);
    if (!*atom) return false;
    *element = resolved_element(entry, atom->get());
    return static_cast<bool>(*element);
}

Ref entry_element(PyObject* entry) {
    Ref a, element;
    entry_atom_element(entry, &a, &element);
    return element;
}

bool register_atom(PyObject* atom, PyObject* id) {
    Ref map = registry_map();
    if (!map) return false;
    // Inserting a new key drops no reference; a replaced value goes after the store.
    PyObject* present = PyDict_SetDefault(map.get(), id, atom);
    if (!present) return false;
    if (present == atom) return true;
    return dict_store(map.get(), id, atom);
}

bool delete_atom_object(PyObject* atom) {
    if (!confirm(atom)) return false;
    const uint64_t confirmed_at = foreign_epoch;
    Ref id = confirmed_slot(atom, Slot::Id, Result::Int);
    if (!id) return false;
    Ref pool = recorded_registry_pool();
    if (!pool) return false;
    if (!record_append(pool.get(), id.get())) {
        settle_pool();
        if (PyList_Append(pool.get(), id.get()) < 0) return false;
    }
    Ref map = registry_map();
    if (!map) return false;
    // With no Python code run since confirm() found `atom` under its id (and
    // the map's keys all exact ints, or reading it would have settled), the
    // entry is still `atom`, which the caller holds as well.
    if (foreign_epoch == confirmed_at && Py_REFCNT(atom) > 1 && fast_path(FastPath::HeldEntryDelete))
        return dict_delete_held(map.get(), id.get());
    return dict_delete(map.get(), id.get());
}

}  // namespace atom
