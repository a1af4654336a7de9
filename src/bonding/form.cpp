#include "bonding/form.hpp"

#include "python/foreign.hpp"
#include "valence/accounting.hpp"
#include "python/errors.hpp"
#include "registry/atoms.hpp"
#include "registry/phantoms.hpp"
#include "python/settle_hook.hpp"

#include <algorithm>
#include <utility>

namespace atom {
namespace {

bool raise_tagged(ErrorKind kind, PyObject* atom, std::string_view text) {
    Ref id = get_id(atom);
    if (!id) return false;
    Text m;
    if (!add_atom_tag(m, id.get())) return false;
    m.add("").add(text);
    return raise_error(kind, m, id.get());
}

// "Too many Bonds", with the advice suffixes of the mode; `cause` null means "from None".
bool raise_no_room(PyObject* atom, Mode mode, Ref cause) {
    Ref id = get_id(atom);
    Ref bonds = id ? get_bonds(atom) : nullptr;
    if (!bonds) return false;
    Text m;
    if (!add_atom_tag(m, id.get())) return false;
    m.add("Too many Bonds (You are trying to add 1 more bond, but there already exist ");
    m.add_int(PyList_GET_SIZE(bonds.get()));
    m.add(" bonds and it's impossible to form a new bond).");
    replace_all(m.bytes(), "exist 1 bonds", "exists 1 bond");
    if (mode == Mode::Hydro) m.add(" Add 'use = \"lone_electron\"' to use lone electron to form a bond, ");
    if (mode == Mode::Lone) m.add(" Add 'use = \"hydro\"' to use hydrogen atom to form a bond, ");
    if (mode != Mode::Both) m.add("or add 'use = \"both\"' to use both hydrogen atom and lone electron.");
    return raise_error_from(ErrorKind::Bond, m, id.get(), std::move(cause));
}

// The accounting for one lone electron fewer; on a normal return with room for
// one more entry, the bond can be formed through that electron.
bool try_lone_electron(PyObject* side, SidePlan* plan, bool* formed) {
    Ref element = get_element(side);
    Ref charge = element ? get_charge(side) : nullptr;
    Ref lone = charge ? get_lone(side) : nullptr;
    Ref fewer = lone ? foreign::subtract(lone.get(), g.const_one) : nullptr;
    Ref bonds = fewer ? get_bonds(side) : nullptr;
    Ref id = bonds ? get_id(side) : nullptr;
    if (!id) return false;
    Capacity cap{};
    const AccountArgs args{reinterpret_cast<PyObject*>(g.atom_type), element.get(), charge.get(), fewer.get(),
                           bonds.get(), id.get(), Py_False};
    if (!bond_num(args, &cap)) return false;
    if (cap.bonds > PyList_GET_SIZE(bonds.get())) {
        plan->lone = Ref::steal(PyLong_FromLongLong(cap.lone));
        if (!plan->lone) return false;
        plan->via_lone = true;
        *formed = true;
    }
    return true;
}

// The lone-electron attempt of the modes that use one: its failure, when
// ordinary, is remembered as the cause of a later BondError.
bool attempt_lone_electron(PyObject* side, Mode mode, SidePlan* plan, bool* formed, Ref* remembered) {
    if (mode != Mode::Lone && mode != Mode::Both) return true;
    if (try_lone_electron(side, plan, formed)) return true;
    SavedError e;
    if (!is_ordinary_exception(e.get())) {
        e.restore();
        return false;
    }
    *remembered = e.take();
    return true;
}

bool listed(std::span<PyObject* const> atoms, PyObject* a) {
    return std::find(atoms.begin(), atoms.end(), a) != atoms.end();
}

bool carbene(PyObject* self) {
    Ref bonds = get_bonds(self);
    if (!bonds) return false;
    Py_ssize_t pos[2];
    Ref entries[2];
    Ref hydrogens[2];
    int found = 0;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds.get()) && found < 2; ++i) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(bonds.get(), i));
        Ref atom, element;
        if (!entry_atom_element(entry.get(), &atom, &element)) return false;
        if (is_hydrogen_symbol(element.get())) {
            pos[found] = i;
            entries[found] = std::move(entry);
            hydrogens[found] = std::move(atom);
            ++found;
        }
    }
    if (found < 2) {
        Text t("No enough electron available to form a carbene-like structure (");
        t.add_int(found).add(" are available while 2 are needed).");
        replace_all(t.bytes(), "1 are", "1 is");
        return raise_tagged(ErrorKind::LoneElectron, self, t.bytes());
    }
    // A hydrogen listed twice (left so by one-sided calls) cannot be given up
    // twice: the second deletion would find it gone, raised before any change.
    if (hydrogens[0].get() == hydrogens[1].get()) return raise_nonexistent(entries[1].get());
    Ref lone = slot_ref(self, Slot::Lone);
    Ref more = lone ? foreign::add(lone.get(), g.const_two) : nullptr;
    if (!more) return false;
    slot_set(self, Slot::Lone, more.get());
    for (int k = 0; k < 2; ++k) {
        Ref list = bonds_list(self);
        if (!list) return false;
        const Py_ssize_t at = pos[k] - k;  // the first removal shifts the second entry left
        if (at >= PyList_GET_SIZE(list.get()) || PyList_GET_ITEM(list.get(), at) != entries[k].get()) {
            PyErr_SetString(PyExc_RuntimeError, "the bond list changed during the carbene conversion");
            return false;
        }
        if (!list_delete(list.get(), at)) return false;
        Ref h = resolve_atom(entries[k].get());
        if (!h || !delete_atom_object(h.get())) return false;
    }
    return true;
}

}  // namespace

bool mode_of(PyObject* use, Mode* mode) {
    const std::pair<PyObject*, Mode> modes[] = {
        {g.names.hydro, Mode::Hydro}, {g.names.lone_electron, Mode::Lone}, {g.names.both, Mode::Both}};
    Ref held = Ref::borrow(use);  // a user __eq__ may drop the last other reference
    for (const auto& [name, m] : modes) {
        const int eq = PyUnicode_CheckExact(use) ? PyUnicode_Compare(use, name) == 0
                                                 : foreign::compare(use, name, Py_EQ);
        if (eq < 0) return false;
        if (eq) {
            *mode = m;
            return true;
        }
    }
    *mode = Mode::Other;
    return true;
}

bool plan_side(PyObject* side, Mode mode, const HydrogenRules& rules, SidePlan* plan) {
    plan->atom = Ref::borrow(side);
    Ref remembered;
    bool formed = false;
    if (!attempt_lone_electron(side, mode, plan, &formed, &remembered)) return false;
    // The hydrogen step resolves entries up to the hydrogen it uses (all of
    // them when the mode uses none); after a bond through a lone electron in
    // "both" it does not run.
    const bool uses_hydrogen = mode == Mode::Hydro || mode == Mode::Both;
    if (!(formed && mode == Mode::Both)) {
        Ref bonds = get_bonds(side);
        if (!bonds) return false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds.get()); ++i) {
            Ref entry = Ref::borrow(PyList_GET_ITEM(bonds.get(), i));
            // A hydrogen registered but not built yet stands for itself.
            const bool unbuilt = is_unbuilt(entry.get());
            Ref a = unbuilt ? entry : resolve_atom(entry.get());
            if (!a) return false;
            Ref element = unbuilt ? Ref::borrow(g.names.H) : resolved_element(entry.get(), a.get());
            if (!element) return false;
            if (!uses_hydrogen || formed || !is_hydrogen_symbol(element.get()) || listed(rules.passed_over, a.get()))
                continue;
            if (listed(rules.refused, a.get())) break;
            plan->pos = i;
            plan->entry = std::move(entry);
            plan->hydrogen = std::move(a);
            formed = true;
            break;
        }
    }
    if (!formed) return raise_no_room(side, mode, std::move(remembered));
    return true;
}

bool refuse_side(PyObject* side, Mode mode) {
    SidePlan unused;
    bool formed = false;
    Ref remembered;
    if (!attempt_lone_electron(side, mode, &unused, &formed, &remembered)) return false;
    return raise_no_room(side, mode, std::move(remembered));
}

bool apply_side(SidePlan& plan, PyObject* partner, PyObject* known_id) {
    PyObject* side = plan.atom.get();
    if (plan.via_lone) {
        slot_set(side, Slot::Lone, plan.lone.get());
        Ref bonds = bonds_list(side);
        return bonds && PyList_Append(bonds.get(), known_id) == 0;
    }
    const uint64_t epoch = foreign_epoch;
    {
        Ref h = std::move(plan.hydrogen);
        if (!(PyLong_CheckExact(h.get()) ? delete_hydrogen_by_id(h.get()) : delete_atom_object(h.get()))) return false;
    }
    Ref partner_id = epoch == foreign_epoch ? Ref::borrow(known_id) : get_atom_id(partner);
    if (!partner_id) return false;
    Ref bonds = bonds_list(side);
    if (!bonds) return false;
    if (plan.pos >= PyList_GET_SIZE(bonds.get()) || PyList_GET_ITEM(bonds.get(), plan.pos) != plan.entry.get()) {
        PyErr_SetString(PyExc_RuntimeError, "the bond list changed while a bond was being formed");
        return false;
    }
    return list_store(bonds.get(), plan.pos, std::move(partner_id));
}

namespace {

// Refuses allow_carbene with use="lone_electron"; false with an exception set.
[[gnu::noinline, gnu::cold]] bool refuse_lone_carbene(PyObject* self, PyObject* allow_carbene) {
    const int carbene_asked = foreign::is_true(allow_carbene);
    if (carbene_asked < 0) return false;
    if (carbene_asked)
        return raise_tagged(ErrorKind::LoneElectron, self,
                            "To use 'allow_carbene = True', please do not set 'use = \"lone_electron\"'.");
    return true;
}

// An atom asked to bond with itself: the carbene conversion, or the refusal.
[[gnu::noinline, gnu::cold]] bool bond_with_itself(PyObject* self, PyObject* allow_carbene) {
    const int carbene_asked = foreign::is_true(allow_carbene);
    if (carbene_asked < 0) return false;
    if (carbene_asked) return carbene(self);
    return raise_tagged(ErrorKind::Bond, self,
                        "An atom cannot bond with itself. Are you trying to form a carbene-like structure? If "
                        "so, please add 'allow_carbene = True'.");
}

}  // namespace

bool bond_with(PyObject* self, PyObject* atom, PyObject* bond_back, PyObject* use, PyObject* allow_carbene) {
    if (!confirm(self)) return false;
    Mode mode;
    if (!mode_of(use, &mode)) return false;
    if (mode == Mode::Lone && !refuse_lone_carbene(self, allow_carbene)) return false;
    Ref partner = resolve_atom(atom);
    if (!partner) return false;
    if (partner.get() == self) return bond_with_itself(self, allow_carbene);
    // Both sides are worked out before either changes.
    SidePlan mine;
    if (!plan_side(self, mode, {}, &mine)) return false;
    const int back = foreign::is_true(bond_back);
    if (back < 0) return false;
    const Mode partner_mode = (mode == Mode::Lone || mode == Mode::Both) ? Mode::Both : Mode::Hydro;
    // Giving up the partner itself would delete it: the partner, which then
    // has nothing to bond with, refuses, whether or not it was to bond back.
    if (mine.hydrogen.get() == partner.get()) return refuse_side(partner.get(), partner_mode);
    SidePlan theirs;
    if (back) {
        PyObject* taken[] = {self, mine.hydrogen.get()};
        if (!plan_side(partner.get(), partner_mode, {.refused = taken}, &theirs)) return false;
    }
    Ref partner_id = get_atom_id(atom);
    const uint64_t epoch = foreign_epoch;
    if (!partner_id || !apply_side(mine, atom, partner_id.get())) return false;
    if (!back) return true;
    Ref own_id = get_atom_id(self);
    if (!own_id) return false;
    if (epoch == foreign_epoch) return apply_side(theirs, self, own_id.get());
    // Python code ran (a finalizer of the hydrogen given up): the partner's
    // side is its own call, on what the structure is now.
    theirs = SidePlan{};
    PyObject* partner_use = partner_mode == Mode::Both ? g.names.both : g.names.hydro;
    return bond_with(partner.get(), own_id.get(), Py_False, partner_use, Py_False);
}

}  // namespace atom
