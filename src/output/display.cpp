#include "output/display.hpp"

#include "python/text.hpp"
#include "registry/atoms.hpp"

namespace atom {
namespace {

// "[1001(H), 1005(O), 1005(O)]": one item per bond entry, with the element of
// the atom it names. Formatting an entry may run Python code, so the list is
// held and its length re-read at every step.
bool add_bond_items(Text& out, PyObject* atom) {
    Ref bonds = get_bonds(atom);
    if (!bonds) return false;
    out.add('[');
    bool any = false;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds.get()); ++i) {
        Ref entry = Ref::borrow(PyList_GET_ITEM(bonds.get(), i));
        if (!out.add_plain(entry.get())) return false;
        out.add('(');
        Ref element = entry_element(entry.get());
        if (!element || !out.add_plain(element.get())) return false;
        out.add("), ");
        any = true;
    }
    if (any) out.bytes().resize(out.size() - 2);
    out.add(']');
    return true;
}

}  // namespace

Ref display_text(PyObject* atom) {
    if (!confirm(atom)) return nullptr;
    Text bonds;
    if (!add_bond_items(bonds, atom)) return nullptr;
    Ref id = get_id(atom);
    Ref element = id ? get_element(atom) : nullptr;
    Ref charge = element ? get_charge(atom) : nullptr;
    Ref lone = charge ? get_lone(atom) : nullptr;
    if (!lone) return nullptr;
    Text t("<Atom id=");
    if (!t.add_plain(id.get())) return nullptr;
    t.add(", element=");
    if (!t.add_plain(element.get())) return nullptr;
    t.add(", bonds=").add(bonds.bytes()).add(", charge=");
    if (!t.add_plain(charge.get())) return nullptr;
    t.add(", lone_electron=");
    if (!t.add_plain(lone.get())) return nullptr;
    t.add('>');
    return t.to_str();
}

}  // namespace atom
