#include "setters/setters.hpp"

#include "valence/accounting.hpp"
#include "python/errors.hpp"
#include "registry/atoms.hpp"
#include "construction/hydrogens.hpp"

namespace atom {
namespace {

bool raise_too_many_bonds(PyObject* self, Setter which, PyObject* requested) {
    Ref id = get_id(self);
    if (!id) return false;
    Text m;
    if (!add_atom_tag(m, id.get())) return false;
    ErrorKind kind;
    switch (which) {
        case Setter::Charge:
            kind = ErrorKind::Charge;
            m.add("Failed to set +");
            if (!m.add_plain(requested)) return false;
            m.add(" charge. ");
            replace_all(m.bytes(), "+-", "-");
            break;
        case Setter::Element:
            kind = ErrorKind::Element;
            m.add("Failed to set element as '");
            if (!m.add_plain(requested)) return false;
            m.add("'. ");
            break;
        case Setter::Lone:
        default:
            kind = ErrorKind::LoneElectron;
            m.add("Failed to set ");
            if (!m.add_plain(requested)) return false;
            m.add(" lone electrons. ");
            replace_all(m.bytes(), "1 lone electrons", "1 lone electron");
            break;
    }
    m.add("There are too many bonds that cannot be removed.");
    return raise_error(kind, m, id.get());
}

// The accounting's answer for the atom with one parameter replaced.
bool target_capacity(PyObject* self, Setter which, PyObject* value, PyObject* auto_modify, PyObject* bonds,
                     Capacity* cap) {
    Ref element = which == Setter::Element ? Ref::borrow(value) : get_element(self);
    Ref charge = !element ? nullptr : which == Setter::Charge ? Ref::borrow(value) : get_charge(self);
    Ref lone = !charge ? nullptr : which == Setter::Lone ? Ref::borrow(value) : get_lone(self);
    Ref heavy = lone ? remove_hydro(bonds) : nullptr;
    Ref id = heavy ? get_id(self) : nullptr;
    if (!id) return false;
    const AccountArgs args{reinterpret_cast<PyObject*>(g.atom_type), element.get(), charge.get(), lone.get(),
                           heavy.get(), id.get(), which == Setter::Lone ? auto_modify : Py_False};
    return bond_num(args, cap);
}

// A hydrogen listed twice (left so by one-sided calls) cannot be dropped twice:
// the second drop would find it deleted. That failure is raised before
// anything changes.
bool drops_distinct_hydrogens(const std::vector<Ref>& entries, const std::vector<Ref>& hydrogens) {
    for (size_t k = 1; k < entries.size(); ++k)
        for (size_t j = 0; j < k; ++j)
            if (hydrogens[j].get() == hydrogens[k].get()) return raise_nonexistent(entries[k].get());
    return true;
}

}  // namespace

bool plan_setter(PyObject* self, Setter which, PyObject* value, PyObject* auto_modify, PyObject* bonds,
                 SetterPlan* plan) {
    if (!confirm(self)) return false;
    Ref list = bonds ? Ref::borrow(bonds) : get_bonds(self);
    if (!list) return false;
    Capacity cap{};
    if (!target_capacity(self, which, value, auto_modify, list.get(), &cap)) return false;
    plan->which = which;
    plan->capacity = cap.bonds;
    plan->value = which == Setter::Lone ? Ref::steal(PyLong_FromLongLong(cap.lone)) : Ref::borrow(value);
    if (!plan->value) return false;
    const Py_ssize_t entries = PyList_GET_SIZE(list.get());
    if (cap.bonds >= entries) return true;
    // Census of the hydrogen entries, before anything is assigned.
    std::vector<Ref> hydrogens;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list.get()); ++i) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(list.get(), i));
        Ref atom, element;
        if (!entry_atom_element(entry.get(), &atom, &element)) return false;
        if (is_hydrogen_symbol(element.get())) {
            plan->drop_positions.push_back(i);
            plan->drop_entries.push_back(std::move(entry));
            hydrogens.push_back(std::move(atom));
        }
    }
    const Py_ssize_t surplus = PyList_GET_SIZE(list.get()) - static_cast<Py_ssize_t>(cap.bonds);
    if (static_cast<Py_ssize_t>(plan->drop_positions.size()) < surplus)
        return raise_too_many_bonds(self, which, value);
    plan->drop_positions.resize(static_cast<size_t>(surplus));
    plan->drop_entries.resize(static_cast<size_t>(surplus));
    return drops_distinct_hydrogens(plan->drop_entries, hydrogens);
}

bool apply_setter(PyObject* self, const SetterPlan& plan) {
    static constexpr Slot kSlotOf[] = {Slot::Charge, Slot::Element, Slot::Lone};
    slot_set(self, kSlotOf[static_cast<int>(plan.which)], plan.value.get());
    if (!fill_hydrogens(self, plan.capacity)) return false;
    // Drop hydrogen entries from the front; each dropped hydrogen leaves the
    // registry, as a hydrogen given up for a bond does.
    for (size_t k = 0; k < plan.drop_positions.size(); ++k) {
        Ref bonds = bonds_list(self);
        if (!bonds) return false;
        const Py_ssize_t at = plan.drop_positions[k] - static_cast<Py_ssize_t>(k);
        if (at >= PyList_GET_SIZE(bonds.get()) || PyList_GET_ITEM(bonds.get(), at) != plan.drop_entries[k].get()) {
            PyErr_SetString(PyExc_RuntimeError, "the bond list changed while hydrogens were being dropped");
            return false;
        }
        if (!list_delete(bonds.get(), at)) return false;
        Ref h = resolve_atom(plan.drop_entries[k].get());
        if (!h || !delete_atom_object(h.get())) return false;
    }
    return true;
}

bool run_setter(PyObject* self, Setter which, PyObject* value, PyObject* auto_modify) {
    SetterPlan plan;
    return plan_setter(self, which, value, auto_modify, nullptr, &plan) && apply_setter(self, plan);
}

}  // namespace atom
