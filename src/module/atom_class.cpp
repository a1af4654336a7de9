#include "module/atom_class.hpp"
#include "registry/id_range.hpp"

#include "python/ref.hpp"
#include "module/docstrings.hpp"
#include "python/function.hpp"
#include "module/methods.hpp"
#include "python/state.hpp"
#include "output/display.hpp"
#include "registry/atoms.hpp"
#include "registry/element_table.hpp"
#include "registry/tags.hpp"

#include <string>

namespace atom {
namespace {

constexpr const char* kAnnotations[][2] = {
    {"_Atom__element_info", "Dict[str, List[any]]"},
    {"id_map", "Dict[int, 'Atom']"},
    {"_Atom__id_pool", "List[int]"},
    {"access_tag", "bool"},
    {"bonds", "Optional[List[int]]"},
    {"charge", "int"},
    {"element", "str"},
    {"id", "int"},
    {"lone_electron", "int"},
};

// A private name of the class body is stored in its mangled form.
std::string stored_name(const char* name) {
    std::string n(name);
    const bool private_name = n.size() > 2 && n.starts_with("__") && !n.ends_with("__");
    return private_name ? "_Atom" + n : n;
}

bool set(PyObject* ns, const char* key, Ref value) {
    return value && PyDict_SetItemString(ns, key, value.get()) == 0;
}

Ref annotations() {
    Ref d = Ref::steal(PyDict_New());
    if (!d) return nullptr;
    for (const auto& [name, text] : kAnnotations)
        if (!set(d.get(), name, Ref::steal(PyUnicode_FromString(text)))) return nullptr;
    return d;
}

Ref slot_names() {
    Ref t = Ref::steal(PyTuple_New(kSlotCount));
    if (!t) return nullptr;
    for (int i = 0; i < kSlotCount; ++i) PyTuple_SET_ITEM(t.get(), i, Py_NewRef(g.names.slot_names[i]));
    return t;
}

Ref full_pool() {
    Ref pool = Ref::steal(PyList_New(kIdCount));
    if (!pool) return nullptr;
    for (long i = 0; i < kIdCount; ++i) {
        PyObject* id = PyLong_FromLong(kFirstId + i);
        if (!id) return nullptr;
        PyList_SET_ITEM(pool.get(), i, id);
    }
    return pool;
}

bool read_slot_offsets(PyTypeObject* cls) {
    for (int i = 0; i < kSlotCount; ++i) {
        PyObject* descr = PyDict_GetItemWithError(cls->tp_dict, g.names.slot_names[i]);
        if (!descr || !Py_IS_TYPE(descr, &PyMemberDescr_Type)) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "Atom slot descriptor missing");
            return false;
        }
        g.slot_offset[i] = reinterpret_cast<PyMemberDescrObject*>(descr)->d_member->offset;
    }
    return true;
}

// access_tag gets the descriptor that notes every write, around the slot
// member the class was created with.
bool install_tag_descriptor(PyObject* cls) {
    PyTypeObject* t = reinterpret_cast<PyTypeObject*>(cls);
    PyObject* name = slot_name(Slot::AccessTag);
    Ref member = Ref::borrow(PyDict_GetItemWithError(t->tp_dict, name));
    Ref descriptor = member ? make_tag_descriptor(member.get()) : nullptr;
    return descriptor && PyObject_SetAttr(cls, name, descriptor.get()) == 0 &&
           start_tag_tracking(descriptor.get());
}

// str() and repr() reach the display text without a call through __str__;
// assigning either method on the class puts the slot back to calling it.
void install_display_slots(PyTypeObject* t) {
    t->tp_str = display_slot;
    t->tp_repr = display_slot;
}

// What the collector's generic traverse of a class with __slots__ visits (each
// slot, then the heap type), without its walk over the class's member table.
// A subclass's generic traverse visits its own slots and dict, then calls this.
int traverse_atom(PyObject* self, visitproc visit, void* arg) {
    for (int s = 0; s < kSlotCount; ++s) Py_VISIT(*slot_ptr(self, static_cast<Slot>(s)));
    Py_VISIT(Py_TYPE(self));
    return 0;
}

}  // namespace

bool init_atom_class(PyObject* module) {
    Ref ns = Ref::steal(PyDict_New());
    Ref name = Ref::steal(PyUnicode_FromString("Atom"));
    if (!ns || !name) return false;
    if (!set(ns.get(), "__module__", Ref::steal(PyUnicode_FromString("Atom"))) ||
        !set(ns.get(), "__qualname__", name) || !set(ns.get(), "__doc__", Ref::steal(PyUnicode_FromString(doc::kClass))) ||
        !set(ns.get(), "__annotations__", annotations()) || !set(ns.get(), "__slots__", slot_names()) ||
        !set(ns.get(), "_Atom__element_info", make_element_table()) ||
        !set(ns.get(), "id_map", Ref::steal(PyDict_New())) || !set(ns.get(), "_Atom__id_pool", full_pool()))
        return false;
    for (const MethodSpec* method : method_table())
        if (!set(ns.get(), stored_name(method->name).c_str(), make_class_member(*method))) return false;

    Ref bases = Ref::steal(PyTuple_New(0));
    if (!bases) return false;
    Ref cls = Ref::steal(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PyType_Type), name.get(),
                                                      bases.get(), ns.get(), nullptr));
    if (!cls) return false;
    if (!read_slot_offsets(reinterpret_cast<PyTypeObject*>(cls.get()))) return false;
    if (PyModule_AddObjectRef(module, "Atom", cls.get()) < 0) return false;
    g.atom_type = reinterpret_cast<PyTypeObject*>(cls.release());
    install_display_slots(g.atom_type);
    g.atom_type->tp_traverse = traverse_atom;
    return install_tag_descriptor(reinterpret_cast<PyObject*>(g.atom_type));
}

}  // namespace atom
