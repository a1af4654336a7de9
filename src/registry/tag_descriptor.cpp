// The class's access_tag descriptor: the slot member the class was created
// with does the reading and writing (same slot, same errors, an unset slot
// still raising AttributeError); this wrapper only notes each write, so that
// clearing the tags can skip atoms that were never given one.
#include "python/foreign.hpp"
#include "registry/tags.hpp"

#include <utility>

namespace atom {
namespace {

struct TagDescriptor {
    PyObject_HEAD
    PyObject* member;  // the class's own slot member (strong)
};

PyObject* member_of(PyObject* self) { return reinterpret_cast<TagDescriptor*>(self)->member; }

PyObject* tag_get(PyObject* self, PyObject* obj, PyObject* type) {
    if (!obj) return Py_NewRef(self);  // read on the class
    PyObject* m = member_of(self);
    return Py_TYPE(m)->tp_descr_get(m, obj, type);
}

// Assignment and deletion (value null) alike; a tag other than False, or none
// at all, is one the next clearing must reach.
int tag_set(PyObject* self, PyObject* obj, PyObject* value) {
    PyObject* m = member_of(self);
    if (Py_TYPE(m)->tp_descr_set(m, obj, value) < 0) return -1;
    if (value != Py_False) remember_tag(obj);
    return 0;
}

// __name__, __qualname__, __objclass__ and the like are the member's.
PyObject* tag_getattro(PyObject* self, PyObject* name) {
    PyObject* v = PyObject_GenericGetAttr(self, name);
    if (v || !PyErr_ExceptionMatches(PyExc_AttributeError)) return v;
    PyErr_Clear();
    return foreign::get_attr(member_of(self), name).release();
}

PyObject* tag_repr(PyObject* self) { return foreign::repr_of(member_of(self)).release(); }

void tag_dealloc(PyObject* self) {
    // An instance of a heap type holds a reference to its type.
    Ref type = Ref::steal(reinterpret_cast<PyObject*>(Py_TYPE(self)));
    Ref member = Ref::steal(std::exchange(reinterpret_cast<TagDescriptor*>(self)->member, nullptr));
    Py_TYPE(self)->tp_free(self);
}

PyType_Slot tag_slots[] = {
    {Py_tp_descr_get, reinterpret_cast<void*>(tag_get)},
    {Py_tp_descr_set, reinterpret_cast<void*>(tag_set)},
    {Py_tp_getattro, reinterpret_cast<void*>(tag_getattro)},
    {Py_tp_repr, reinterpret_cast<void*>(tag_repr)},
    {Py_tp_dealloc, reinterpret_cast<void*>(tag_dealloc)},
    {0, nullptr},
};

PyType_Spec tag_spec = {
    "Atom.tag_descriptor",
    sizeof(TagDescriptor),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    tag_slots,
};

}  // namespace

Ref make_tag_descriptor(PyObject* member) {
    Ref type = Ref::steal(PyType_FromSpec(&tag_spec));
    Ref obj = type ? Ref::steal(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(type.get()), 0)) : nullptr;
    if (!obj) return nullptr;
    reinterpret_cast<TagDescriptor*>(obj.get())->member = Py_NewRef(member);
    return obj;
}

}  // namespace atom
