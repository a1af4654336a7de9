#include "python/function.hpp"

#include "python/binder.hpp"
#include "python/function_object.hpp"
#include "python/settle_hook.hpp"
#include "python/signature.hpp"
#include "python/stack_guard.hpp"
#include "python/state.hpp"

#include <structmember.h>

#include <new>

namespace atom {
namespace {

PyTypeObject* function_type = nullptr;

// --- calls ------------------------------------------------------------------

PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    const FunctionObject* f = as_function(self);
    PyObject* bound[kMaxParams];
    if (!bind(f, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return nullptr;
    if (!stack_left() || Py_EnterRecursiveCall(" while calling an Atom method")) return nullptr;
    PyObject* r;
    try {
        CalledFromPython entry;
        r = f->method->impl(bound);
    } catch (const std::bad_alloc&) {
        r = PyErr_NoMemory();
    }
    Py_LeaveRecursiveCall();
    return check_result(f, r);
}

// --- the type ---------------------------------------------------------------

PyObject* function_get(PyObject* self, PyObject* obj, PyObject*) {
    if (!obj || obj == Py_None) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

PyObject* function_repr(PyObject* self) {
    return PyUnicode_FromFormat("<function %U at %p>", as_function(self)->qualname, self);
}

int function_traverse(PyObject* self, visitproc visit, void* arg) {
    FunctionObject* f = as_function(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(f->dict);
    Py_VISIT(f->defaults_tuple);
    Py_VISIT(f->annotations);
    Py_VISIT(f->signature);
    Py_VISIT(f->doc);
    return 0;
}

int function_clear(PyObject* self) {
    FunctionObject* f = as_function(self);
    Py_CLEAR(f->dict);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->signature);
    return 0;
}

void function_dealloc(PyObject* self) {
    FunctionObject* f = as_function(self);
    PyTypeObject* tp = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    function_clear(self);
    for (PyObject*& n : f->names) Py_CLEAR(n);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    Py_CLEAR(f->module);
    Py_CLEAR(f->doc);
    Py_CLEAR(f->defaults_tuple);
    tp->tp_free(self);
    Py_DECREF(tp);
}

PyObject* get_name(PyObject* self, void*) { return Py_NewRef(as_function(self)->name); }
PyObject* get_qualname(PyObject* self, void*) { return Py_NewRef(as_function(self)->qualname); }
PyObject* get_module(PyObject* self, void*) { return Py_NewRef(as_function(self)->module); }
PyObject* get_doc(PyObject* self, void*) { return Py_NewRef(as_function(self)->doc); }
PyObject* get_defaults(PyObject* self, void*) { return Py_NewRef(as_function(self)->defaults_tuple); }
PyObject* get_kwdefaults(PyObject*, void*) { Py_RETURN_NONE; }
PyObject* get_annotations(PyObject* self, void*) { return Py_NewRef(as_function(self)->annotations); }
// The namespace the annotation strings resolve in (typing.get_type_hints reads
// it): the module's own dict, which holds the public names of typing.
PyObject* get_globals(PyObject*, void*) {
    if (!g.module) return PyDict_New();
    return Py_NewRef(PyModule_GetDict(g.module));
}
PyObject* get_signature(PyObject* self, void*) {
    FunctionObject* f = as_function(self);
    if (!f->signature) f->signature = build_signature(f).release();
    return Py_XNewRef(f->signature);
}
PyGetSetDef function_getset[] = {
    {"__name__", get_name, nullptr, nullptr, nullptr},
    {"__qualname__", get_qualname, nullptr, nullptr, nullptr},
    {"__module__", get_module, nullptr, nullptr, nullptr},
    {"__doc__", get_doc, nullptr, nullptr, nullptr},
    {"__defaults__", get_defaults, nullptr, nullptr, nullptr},
    {"__kwdefaults__", get_kwdefaults, nullptr, nullptr, nullptr},
    {"__annotations__", get_annotations, nullptr, nullptr, nullptr},
    {"__globals__", get_globals, nullptr, nullptr, nullptr},
    {"__signature__", get_signature, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef function_members[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(FunctionObject, vectorcall), READONLY, nullptr},
    {"__dictoffset__", T_PYSSIZET, offsetof(FunctionObject, dict), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_get)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_getset, function_getset},
    {Py_tp_members, function_members},
    {0, nullptr},
};

PyType_Spec function_spec = {
    "Atom.function",
    sizeof(FunctionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR |
        Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    function_slots,
};

Ref make_default(const Param& p) {
    switch (p.def) {
        case Def::Required: return nullptr;
        case Def::None: return Ref::borrow(Py_None);
        case Def::True: return Ref::borrow(Py_True);
        case Def::False: return Ref::borrow(Py_False);
        case Def::Zero: return Ref::steal(PyLong_FromLong(0));
        case Def::Text: return Ref::steal(PyUnicode_InternFromString(p.text));
    }
    return nullptr;
}

bool fill_function(FunctionObject* f, const MethodSpec& s) {
    f->vectorcall = function_vectorcall;
    f->method = &s;
    f->name = PyUnicode_InternFromString(s.name);
    f->qualname = PyUnicode_FromFormat("%s.%s", s.owner, s.name);
    f->module = PyUnicode_InternFromString("Atom");
    f->doc = s.doc ? PyUnicode_FromString(s.doc) : Py_NewRef(Py_None);
    f->annotations = PyDict_New();
    if (!f->name || !f->qualname || !f->module || !f->doc || !f->annotations) return false;

    Ref defaults = Ref::steal(PyList_New(0));
    if (!defaults) return false;
    f->required = 0;
    for (int i = 0; i < s.count; ++i) {
        const Param& p = s.params[i];
        f->names[i] = PyUnicode_InternFromString(p.name);
        if (!f->names[i]) return false;
        Ref d = make_default(p);
        if (p.def == Def::Required) {
            ++f->required;
        } else if (!d || PyList_Append(defaults.get(), d.get()) < 0) {
            return false;
        }
        if (p.annotation) {
            Ref ann = Ref::steal(PyUnicode_FromString(p.annotation));
            if (!ann || PyDict_SetItem(f->annotations, f->names[i], ann.get()) < 0) return false;
        }
    }
    if (s.returns) {
        Ref ret = Ref::steal(PyUnicode_FromString(s.returns));
        if (!ret || PyDict_SetItemString(f->annotations, "return", ret.get()) < 0) return false;
    }
    if (PyList_GET_SIZE(defaults.get()) == 0) {
        f->defaults_tuple = Py_NewRef(Py_None);
    } else {
        f->defaults_tuple = PyList_AsTuple(defaults.get());
        if (!f->defaults_tuple) return false;
        // The binder reads the defaults straight from the tuple it keeps alive.
        for (int i = f->required; i < s.count; ++i)
            f->defaults[i] = PyTuple_GET_ITEM(f->defaults_tuple, i - f->required);
    }
    return true;
}

}  // namespace

bool init_function_type() {
    function_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&function_spec));
    return function_type != nullptr;
}

Ref make_function(const MethodSpec& method) {
    Ref obj = Ref::steal(PyType_GenericAlloc(function_type, 0));
    if (!obj) return nullptr;
    if (!fill_function(as_function(obj.get()), method)) return nullptr;
    return obj;
}

Ref make_class_member(const MethodSpec& method) {
    Ref fn = make_function(method);
    if (!fn || method.kind == Kind::Instance) return fn;
    return Ref::steal(PyClassMethod_New(fn.get()));
}

}  // namespace atom