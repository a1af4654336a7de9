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

bool add_int_slot(std::string& out, PyObject* v) {
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

bool add_plain_bond_items(std::string& out, PyObject* atom, PyObject* map) {
    PyObject* bonds = *slot_ptr(atom, Slot::Bonds);
    if (!bonds || !PyList_Check(bonds)) return false;
    out += '[';
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(bonds); ++i) {
        PyObject* entry = PyList_GET_ITEM(bonds, i);
        PyObject *neighbour, *element;
        if (i) out.append(", ", 2);
        if (!plain_neighbour(map, entry, &neighbour, &element) || !add_int_slot(out, entry)) return false;
        out += '(';
        if (!add_ascii_slot(out, element)) return false;
        out += ')';
    }
    out += ']';
    return true;
}

bool add_plain_fields(std::string& out, PyObject* atom, PyObject* map) {
    if (!plain_confirmed(map, atom)) return false;
    out.append("<Atom id=", 9);
    if (!add_int_slot(out, *slot_ptr(atom, Slot::Id))) return false;
    out.append(", element=", 10);
    if (!add_ascii_slot(out, *slot_ptr(atom, Slot::Element))) return false;
    out.append(", bonds=", 8);
    if (!add_plain_bond_items(out, atom, map)) return false;
    out.append(", charge=", 9);
    if (!add_int_slot(out, *slot_ptr(atom, Slot::Charge))) return false;
    out.append(", lone_electron=", 16);
    if (!add_int_slot(out, *slot_ptr(atom, Slot::Lone))) return false;
    out += '>';
    return true;
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
