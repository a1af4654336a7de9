#include "construction/construct.hpp"

#include "construction/creation_log.hpp"
#include "construction/hydrogens.hpp"

#include "valence/accounting.hpp"
#include "bonding/form.hpp"
#include "python/errors.hpp"
#include "python/settle_hook.hpp"
#include "registry/atoms.hpp"
#include "registry/ids.hpp"
#include "registry/pool_batch.hpp"
#include "registry/tags.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory_resource>
#include <utility>
#include <vector>

namespace atom {
namespace {

// A failed construction gives its drawn id back (when it is still free to
// give); the construction's own error stays the one raised.
bool fail_returning(PyObject* id) {
    SavedError e;
    if (!give_back_id(id)) PyErr_Clear();
    e.restore();
    return false;
}

// Replaces each entry, in place, by the id it resolves to.
bool resolve_entries(PyObject* bonds) {
    if (!PyList_Check(bonds)) {
        PyErr_Format(PyExc_TypeError, "bonds must be a list of atoms or ids, not '%.200s'", Py_TYPE(bonds)->tp_name);
        return false;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds); ++i) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(bonds, i));
        Ref id = get_atom_id(entry.get());
        if (!id) return false;
        if (i >= PyList_GET_SIZE(bonds)) break;
        if (!list_store(bonds, i, std::move(id))) return false;
    }
    return true;
}

// Every listed atom gives up one hydrogen entry for each time it is listed,
// the first one in list order, as the bonding step will ask of it; checked
// before the atom is registered. The walk reads each partner's list as the
// earlier exchanges will have left it: an entry already exchanged names the
// new atom, which is a hydrogen entry only when the new atom is a hydrogen.
// The first listed atom whose next hydrogen is the new atom, an atom of the
// bond list or one another partner gives up, or that has none left, refuses
// with its BondError. The plans found are the exchanges the bonding step
// then makes, entry by entry.
bool partners_can_bond(PyObject* element, PyObject* bonds, std::pmr::vector<SidePlan>* plans) {
    if (PyList_GET_SIZE(bonds) == 0) return true;  // no partner, no plan
    // A handful of partners: the working lists live on the stack.
    std::array<std::byte, 2048> room;
    std::pmr::monotonic_buffer_resource arena(room.data(), room.size());
    const Py_ssize_t n = PyList_GET_SIZE(bonds);
    std::pmr::vector<Ref> listed(&arena);  // the bond list's atoms, held while planning
    listed.reserve(static_cast<size_t>(n));
    for (Py_ssize_t i = 0; i < n && i < PyList_GET_SIZE(bonds); ++i) {
        Ref atom = resolve_atom(PyList_GET_ITEM(bonds, i));
        if (!atom) return false;
        listed.push_back(std::move(atom));
    }
    const bool new_is_hydrogen = is_hydrogen_symbol(element);
    std::pmr::vector<std::pair<PyObject*, PyObject*>> exchanges(&arena);  // (atom, its hydrogen) planned, in order
    std::pmr::vector<PyObject*> refused(&arena);  // the bond list's atoms, then every hydrogen planned
    std::pmr::vector<PyObject*> own(&arena);      // what one partner's step reads specially
    for (const Ref& a : listed) refused.push_back(a.get());
    plans->reserve(listed.size());
    for (const Ref& a : listed) {
        // Its own exchanged entries now name the new atom.
        own.clear();
        if (new_is_hydrogen) own.assign(refused.begin(), refused.end());
        for (const auto& [atom, hydrogen] : exchanges)
            if (atom == a.get()) own.push_back(hydrogen);
        HydrogenRules rules{.refused = refused};
        if (new_is_hydrogen)
            rules.refused = own;
        else
            rules.passed_over = own;
        SidePlan plan;
        if (!plan_side(a.get(), Mode::Hydro, rules, &plan)) return false;
        exchanges.emplace_back(a.get(), plan.hydrogen.get());
        refused.push_back(plan.hydrogen.get());
        plans->push_back(std::move(plan));
    }
    return true;
}

// Each listed atom records the bond on its side, as bond_with(self,
// bond_back=False) called on it does: it gives up the hydrogen planned for it.
// Once Python code has run (a finalizer of a hydrogen given up), the plans
// left are stale: each remaining partner then makes its own call.
bool bond_partners(std::pmr::vector<SidePlan>& plans, PyObject* id, PyObject* bonds) {
    const uint64_t epoch = foreign_epoch;
    for (size_t k = 0; k < plans.size(); ++k) {
        const bool planned = epoch == foreign_epoch;
        Ref partner = plans[k].atom;
        if (!planned) plans[k] = SidePlan{};
        if (!(planned ? apply_side(plans[k], id, id) : bond_with(partner.get(), id, Py_False, g.names.hydro, Py_False))) {
            const Py_ssize_t i = static_cast<Py_ssize_t>(k);
            SavedError e;
            if (is_ordinary_exception(e.get()) && i < PyList_GET_SIZE(bonds) && !list_delete(bonds, i))
                PyErr_Clear();
            e.restore();
            return false;
        }
    }
    return true;
}

bool construct(PyObject* self, const NewAtom& in) {
    Ref bonds = in.bonds && in.bonds != Py_None ? Ref::borrow(in.bonds) : Ref::steal(PyList_New(0));
    if (!bonds) return false;
    slot_set(self, Slot::Element, in.element);
    slot_set(self, Slot::Charge, in.charge);
    const bool lone_given = in.lone && in.lone != Py_None;
    PyObject* lone = lone_given ? in.lone : g.const_zero;
    slot_set(self, Slot::Lone, lone);
    Ref id = draw_id();
    if (!id) return false;
    slot_set(self, Slot::Id, id.get());
    // Atoms the caller named may run Python code when resolved or bonded.
    if (!in.partners_made_here && PyList_Check(bonds.get()) && PyList_GET_SIZE(bonds.get()) > 0) settle_before_python();
    if (!resolve_entries(bonds.get())) return fail_returning(id.get());
    slot_set(self, Slot::Bonds, bonds.get());

    Capacity cap{};
    const AccountArgs args{reinterpret_cast<PyObject*>(g.atom_type),
                           in.element,
                           in.charge,
                           lone,
                           bonds.get(),
                           id.get(),
                           lone_given ? in.auto_modify : Py_True,
                           in.placeholders};
    if (in.known_capacity)
        cap = *in.known_capacity;
    else if (!bond_num(args, &cap))
        return fail_returning(id.get());
    Ref kept_lone = Ref::steal(PyLong_FromLongLong(cap.lone));
    if (!kept_lone) return fail_returning(id.get());
    slot_set(self, Slot::Lone, kept_lone.get());
    std::array<std::byte, 512> room;  // the plans of a few partners
    std::pmr::monotonic_buffer_resource arena(room.data(), room.size());
    std::pmr::vector<SidePlan> plans(&arena);
    if (in.bond_ && !partners_can_bond(in.element, bonds.get(), &plans)) return fail_returning(id.get());

    if (!register_atom(self, id.get())) return fail_returning(id.get());
    CreationLog::record(self);
    if (in.bond_ && !bond_partners(plans, id.get(), bonds.get())) return false;
    plans.clear();  // the last hold on the hydrogens given up
    if (!fill_hydrogens(self, cap.bonds, in.hydrogens_taken_soon)) return false;
    slot_set(self, Slot::AccessTag, Py_False);
    forget_settled_atom(self);
    return true;
}

bool slots_unset(PyObject* self) {
    for (int s = 0; s < kSlotCount; ++s)
        if (*slot_ptr(self, static_cast<Slot>(s))) return false;
    return true;
}

}  // namespace

bool init_atom(PyObject* self, const NewAtom& in) {
    if (!slots_unset(self)) {
        // Initialising an atom again drops its old slot values, whose
        // finalizers must see the pool settled.
        PoolBatch::Suspend reinitialising;
        return construct(self, in);
    }
    PoolBatch batch;
    return construct(self, in);
}

Ref create_atom(const NewAtom& in) {
    Ref self = Ref::steal(g.atom_type->tp_alloc(g.atom_type, 0));
    if (!self || !init_atom(self.get(), in)) return nullptr;
    return self;
}

}  // namespace atom
