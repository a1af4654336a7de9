#include "output/display.hpp"
#include "python/fast_paths.hpp"

#include "python/stack_guard.hpp"
#include "python/text.hpp"
#include "registry/atoms.hpp"
#include "registry/plain_registry.hpp"
#include "registry/tags.hpp"

#include <charconv>

namespace atom {
namespace {

// The display text's one form, for both of its readers: the general one
// (the getters, each value written in its plain text form, where Python code
// may run) and the plain one (the slots, read without Python code; a writer
// returns false when it cannot). Each writer appends its field to `out`.
template <class Id, class Element, class Bonds, class Charge, class Lone>
bool compose_display(std::string& out, Id id, Element element, Bonds bonds, Charge charge, Lone lone) {
    out.append("<Atom id=");
    if (!id()) return false;
    out.append(", element=");
    if (!element()) return false;
    out.append(", bonds=");
    if (!bonds()) return false;
    out.append(", charge=");
    if (!charge()) return false;
    out.append(", lone_electron=");
    if (!lone()) return false;
    out += '>';
    return true;
}

// "[1001(H), 1005(O), 1005(O)]": one item per bond entry, with the element of
// the atom it names. A general writer may run Python code, so it holds each
// entry (Held: Ref) while it is written; the list's length is re-read at
// every step.
template <class Held, class Entry, class Element>
bool compose_bond_items(std::string& out, PyObject* bonds, Entry entry, Element element) {
    out += '[';
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds); ++i) {
        Held item = hold<Held>(PyList_GET_ITEM(bonds, i));
        if (i) out.append(", ");
        if (!entry(raw(item))) return false;
        out += '(';
        if (!element(raw(item))) return false;
        out += ')';
    }
    out += ']';
    return true;
}

// Inline at each of its callers: the digits differ by field (an id has four, a
// charge one), and each copy of the branches learns its own.
[[gnu::always_inline]] inline bool add_int_slot(std::string& out, PyObject* v) {
    if (!v || !PyLong_CheckExact(v)) return false;
    long long n;
    if (PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(v))) {
        n = PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(v));
    } else {
        int overflow = 0;
        n = PyLong_AsLongLongAndOverflow(v, &overflow);
        if (overflow) return false;
    }
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
    return true;
}

bool add_ascii_slot(std::string& out, PyObject* v) {
    if (!v || !PyUnicode_CheckExact(v) || !PyUnicode_IS_ASCII(v)) return false;
    out.append(static_cast<const char*>(PyUnicode_DATA(v)), static_cast<size_t>(PyUnicode_GET_LENGTH(v)));
    return true;
}

bool add_plain_fields(std::string& out, PyObject* atom, PyObject* map) {
    PyObject* bonds = *slot_ptr(atom, Slot::Bonds);
    if (!plain_confirmed(map, atom) || !bonds || !PyList_Check(bonds)) return false;
    // One writer per int field, so that each has its own copy of the digits' branches.
    const auto id = [&out, atom] { return add_int_slot(out, *slot_ptr(atom, Slot::Id)); };
    const auto charge = [&out, atom] { return add_int_slot(out, *slot_ptr(atom, Slot::Charge)); };
    const auto lone = [&out, atom] { return add_int_slot(out, *slot_ptr(atom, Slot::Lone)); };
    const auto element = [&out, atom] { return add_ascii_slot(out, *slot_ptr(atom, Slot::Element)); };
    const auto entry = [&out](PyObject* e) { return add_int_slot(out, e); };
    const auto neighbour_element = [&out, map](PyObject* e) {
        PyObject *neighbour, *symbol;
        return plain_neighbour(map, e, &neighbour, &symbol) && add_ascii_slot(out, symbol);
    };
    const auto bond_items = [&] { return compose_bond_items<PyObject*>(out, bonds, entry, neighbour_element); };
    return compose_display(out, id, element, bond_items, charge, lone);
}

}  // namespace

bool add_plain_display(PyObject* atom, PyObject* map, std::string& out) {
    if (!fast_path(FastPath::PlainDisplay)) return false;
    const size_t start = out.size();
    if (add_plain_fields(out, atom, map)) return true;
    out.resize(start);
    return false;
}

Ref display_form(PyObject* atom) {
    if (Ref map = plain_registry()) {
        // Nothing below runs Python code, so one buffer serves every call.
        static std::string& text = *new std::string;
        text.clear();
        if (add_plain_display(atom, map.get(), text)) return ascii_str(text);
    }
    return display_text(atom);
}

// Guarded as a method call is: an entry whose str() displays an atom again
// recurses through here.
PyObject* display_slot(PyObject* self) {
    if (!stack_left() || Py_EnterRecursiveCall(" while calling an Atom method")) return nullptr;
    PyObject* r;
    try {
        r = display_form(self).release();
    } catch (const std::bad_alloc&) {
        r = PyErr_NoMemory();
    }
    Py_LeaveRecursiveCall();
    return r;
}

Ref display_text(PyObject* atom) {
    if (!confirm(atom)) return nullptr;
    Ref list = get_bonds(atom);
    if (!list) return nullptr;
    Text bonds;
    const auto entry = [&bonds](PyObject* e) { return bonds.add_plain(e); };
    const auto neighbour_element = [&bonds](PyObject* e) {
        Ref element = entry_element(e);
        return element && bonds.add_plain(element.get());
    };
    if (!compose_bond_items<Ref>(bonds.bytes(), list.get(), entry, neighbour_element)) return nullptr;
    Ref id = get_id(atom);
    Ref element = id ? get_element(atom) : nullptr;
    Ref charge = element ? get_charge(atom) : nullptr;
    Ref lone = charge ? get_lone(atom) : nullptr;
    if (!lone) return nullptr;
    Text t;
    const auto plain = [&t](const Ref& v) { return [&t, &v] { return t.add_plain(v.get()); }; };
    const auto bond_items = [&t, &bonds] {
        t.add(bonds.bytes());
        return true;
    };
    if (!compose_display(t.bytes(), plain(id), plain(element), bond_items, plain(charge), plain(lone))) return nullptr;
    return t.to_str();
}

}  // namespace atom
