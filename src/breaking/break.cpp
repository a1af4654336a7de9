#include "breaking/break.hpp"

#include "python/foreign.hpp"
#include "python/ref.hpp"
#include "python/errors.hpp"
#include "registry/atoms.hpp"
#include "setters/setters.hpp"

namespace atom {
namespace {

// Sets *pos to the position of the first entry equal to `id`, -1 when none;
// false when a comparison fails.
bool find_entry(PyObject* bonds, PyObject* id, Py_ssize_t* pos) {
    *pos = -1;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds); ++i) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(bonds, i));
        const int eq = foreign::compare(entry.get(), id, Py_EQ);
        if (eq < 0) return false;
        if (eq) {
            *pos = i;
            return true;
        }
    }
    return true;
}

bool raise_no_such_bond(PyObject* self, PyObject* partner_id) {
    Ref id = get_id(self);
    if (!id) return false;
    Text m;
    if (!add_atom_tag(m, id.get())) return false;
    m.add("You are trying to break a bond with atom ");
    if (!m.add_plain(partner_id)) return false;
    m.add(", but the bond does not exit.");
    return raise_error(ErrorKind::Bond, m, id.get());
}

// Whether `side` accepts one lone electron more with the entry at `pos`
// removed; raises the error its setter would raise, changing nothing.
bool side_can_break(PyObject* side, PyObject* bonds, Py_ssize_t pos) {
    Ref shorter = Ref::steal(PyList_GetSlice(bonds, 0, PyList_GET_SIZE(bonds)));
    if (!shorter || !list_delete(shorter.get(), pos)) return false;
    Ref lone = get_lone(side);
    Ref more = lone ? foreign::add(lone.get(), g.const_one) : nullptr;
    if (!more) return false;
    SetterPlan plan;
    return plan_setter(side, Setter::Lone, more.get(), Py_False, shorter.get(), &plan);
}

// The partner's side, when it records the bond too, is checked before this side changes.
bool partner_can_break(PyObject* self, PyObject* partner_id) {
    Ref partner = resolve_atom(partner_id);
    if (!partner) return false;
    if (partner.get() == self) return true;
    Ref own_id = get_atom_id(self);
    Ref bonds = own_id ? get_bonds(partner.get()) : nullptr;
    if (!bonds) return false;
    Py_ssize_t pos = -1;
    if (!find_entry(bonds.get(), own_id.get(), &pos)) return false;
    return pos < 0 || side_can_break(partner.get(), bonds.get(), pos);
}

}  // namespace

bool break_bond_with(PyObject* self, PyObject* atom, PyObject* break_bond_back) {
    if (!confirm(self)) return false;
    Ref partner_id = get_atom_id(atom);
    if (!partner_id) return false;
    Ref bonds = get_bonds(self);
    if (!bonds) return false;
    Py_ssize_t pos = -1;
    if (!find_entry(bonds.get(), partner_id.get(), &pos)) return false;
    if (pos < 0) return raise_no_such_bond(self, partner_id.get());
    const int back = foreign::is_true(break_bond_back);
    if (back < 0) return false;
    if (!side_can_break(self, bonds.get(), pos)) return false;
    if (back && !partner_can_break(self, partner_id.get())) return false;

    Ref list = bonds_list(self);
    if (!list) return false;
    Py_ssize_t at = -1;
    if (!find_entry(list.get(), partner_id.get(), &at)) return false;
    if (at < 0) return raise_no_such_bond(self, partner_id.get());
    if (!list_delete(list.get(), at)) return false;
    Ref lone = get_lone(self);
    Ref more = lone ? foreign::add(lone.get(), g.const_one) : nullptr;
    if (!more || !run_setter(self, Setter::Lone, more.get(), Py_False)) return false;
    if (!back) return true;
    Ref partner = resolve_atom(partner_id.get());
    return partner && break_bond_with(partner.get(), self, Py_False);
}

}  // namespace atom
