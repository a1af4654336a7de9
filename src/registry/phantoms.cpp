#include "registry/phantoms.hpp"
#include "registry/id_range.hpp"
#include "python/fast_paths.hpp"

#include "python/ints.hpp"
#include "registry/atoms.hpp"
#include "registry/pool_batch.hpp"
#include "registry/tags.hpp"

#include <array>
#include <vector>

namespace atom {
namespace {

struct Unbuilt {
    Ref id;
    Ref parent_id;
    Ref map;  // the id_map it is registered in
};

// The records, and where each id's record is, by the id's value (only ids in
// 1000..9999 are left unbuilt). Never destroyed (see pool_batch.cpp).
std::vector<Unbuilt>& unbuilt = *new std::vector<Unbuilt>;
std::array<int32_t, kIdCount>& place = *[] {
    auto* p = new std::array<int32_t, kIdCount>;
    p->fill(-1);
    return p;
}();

int32_t* place_of(PyObject* id) {
    if (!PyLong_CheckExact(id)) return nullptr;
    const BigInt v = read_int(id);
    return v.fits() && is_id_value(v.value) ? &place[static_cast<size_t>(v.value - kFirstId)] : nullptr;
}

// The record's position for this very id object, or -1.
int32_t find_unbuilt(PyObject* id) {
    const int32_t* at = unbuilt.empty() ? nullptr : place_of(id);
    return at && *at >= 0 && unbuilt[static_cast<size_t>(*at)].id.get() == id ? *at : -1;
}

// Takes the record out of the table.
Unbuilt take(int32_t at) {
    Unbuilt u = std::move(unbuilt[static_cast<size_t>(at)]);
    *place_of(u.id.get()) = -1;
    if (static_cast<size_t>(at) + 1 != unbuilt.size()) {
        unbuilt[static_cast<size_t>(at)] = std::move(unbuilt.back());
        *place_of(unbuilt[static_cast<size_t>(at)].id.get()) = at;
    }
    unbuilt.pop_back();
    return u;
}

// Builds it and puts it in its place in the map.
Ref build(const Unbuilt& u) {
    Ref h = new_hydrogen_object(u.id.get(), u.parent_id.get());
    if (!h || !dict_store(u.map.get(), u.id.get(), h.get())) return nullptr;
    return h;
}

}  // namespace

Ref new_hydrogen_object(PyObject* id, PyObject* parent_id) {
    Ref bonds = Ref::steal(PyList_New(1));
    if (!bonds) return nullptr;
    PyList_SET_ITEM(bonds.get(), 0, Ref::borrow(parent_id).release());
    Ref h = Ref::steal(g.atom_type->tp_alloc(g.atom_type, 0));
    if (!h) return nullptr;
    slot_set(h.get(), Slot::Element, g.names.H);
    slot_set(h.get(), Slot::Charge, g.const_zero);
    slot_set(h.get(), Slot::Lone, g.const_zero);
    slot_set(h.get(), Slot::Id, id);
    slot_set(h.get(), Slot::Bonds, bonds.get());
    slot_set(h.get(), Slot::AccessTag, Py_False);
    return h;
}

Ref register_unbuilt_hydrogen(PyObject* id, PyObject* parent_id) {
    Ref map = registry_map();
    if (!map) return nullptr;
    int32_t* at = place_of(id);
    if (recording_pool() && at && *at < 0 && fast_path(FastPath::UnbuiltHydrogens)) {
        PyObject* present = nullptr;
        {
            StandInRegistration stand_in;
            present = PyDict_SetDefault(map.get(), id, id);
        }
        if (!present) return nullptr;
        if (present == id) {
            *at = static_cast<int32_t>(unbuilt.size());
            unbuilt.push_back(Unbuilt{Ref::borrow(id), Ref::borrow(parent_id), map});
            return Ref::borrow(id);
        }
    }
    Ref h = new_hydrogen_object(id, parent_id);
    if (!h || !register_atom(h.get(), id)) return nullptr;
    return h;
}

bool has_unbuilt_hydrogens() { return !unbuilt.empty(); }

bool is_unbuilt(PyObject* entry) { return find_unbuilt(entry) >= 0; }

Ref build_hydrogen_now(PyObject* id) { return build(take(find_unbuilt(id))); }

bool delete_hydrogen_by_id(PyObject* id) {
    const int32_t it = find_unbuilt(id);
    if (it < 0) {
        // Built meanwhile: delete the atom now registered under it.
        Ref h = resolve_atom(id);
        return h && delete_atom_object(h.get());
    }
    Unbuilt u = take(it);
    Ref pool = recorded_registry_pool();
    if (!pool) return false;
    if (!record_append(pool.get(), id)) {
        settle_pool();
        if (PyList_Append(pool.get(), id) < 0) return false;
    }
    return dict_delete(u.map.get(), id);
}

void build_all_hydrogens() {
    if (unbuilt.empty()) return;
    SavedError e;
    std::vector<Unbuilt> all = std::move(unbuilt);
    unbuilt.clear();
    for (const Unbuilt& u : all) *place_of(u.id.get()) = -1;
    for (const Unbuilt& u : all) {
        if (build(u)) continue;
        PyErr_Clear();
        distrust_tags();
    }
    e.restore();
}

}  // namespace atom
