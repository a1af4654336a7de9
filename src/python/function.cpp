#include "python/function.hpp"

#include "python/state.hpp"

#include <structmember.h>

#include <cstdint>
#include <new>

#if defined(__GLIBC__)
#include <pthread.h>
#endif

namespace atom {
namespace {

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const MethodSpec* spec;
    PyObject* dict;
    PyObject* names[kMaxParams];     // interned parameter names, self/cls first
    PyObject* defaults[kMaxParams];  // items of defaults_tuple (or null: required)
    PyObject* name;
    PyObject* qualname;
    PyObject* module;
    PyObject* doc;
    PyObject* defaults_tuple;
    PyObject* annotations;
    PyObject* signature;  // built on first use
    int required;         // parameters without a default, self/cls included
};

PyTypeObject* function_type = nullptr;

FunctionObject* as_function(PyObject* o) { return reinterpret_cast<FunctionObject*>(o); }

// --- argument binding -------------------------------------------------------

void count_error(const FunctionObject* f, bool too_many, Py_ssize_t given) {
    const int total = f->spec->count;
    const bool has_defaults = f->required < total;
    const char* how;
    int n;
    if (too_many) {
        how = has_defaults ? "at most" : "exactly";
        n = total;
    } else {
        how = has_defaults ? "at least" : "exactly";
        n = f->required;
    }
    PyErr_Format(PyExc_TypeError, "%s() takes %s %d positional argument%s (%zd given)", f->spec->name, how,
                 n, n == 1 ? "" : "s", given);
}

bool same_name(PyObject* key, PyObject* name) {
    return key == name || (PyUnicode_Check(key) && PyUnicode_Compare(key, name) == 0);
}

// Index of the parameter called `key`, or -1.
int find_param(const FunctionObject* f, PyObject* key) {
    const int total = f->spec->count;
    for (int i = 0; i < total; ++i)
        if (f->names[i] == key) return i;
    if (!PyUnicode_Check(key)) return -1;
    for (int i = 0; i < total; ++i)
        if (PyUnicode_Compare(key, f->names[i]) == 0) return i;
    return -1;
}

PyObject* find_keyword(PyObject* name, PyObject* kwnames, PyObject* const* kwvalues) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t j = 0; j < nkw; ++j)
        if (PyTuple_GET_ITEM(kwnames, j) == name) return kwvalues[j];
    for (Py_ssize_t j = 0; j < nkw; ++j)
        if (same_name(PyTuple_GET_ITEM(kwnames, j), name)) return kwvalues[j];
    return nullptr;
}

bool check_keywords(const FunctionObject* f, Py_ssize_t nargs, PyObject* kwnames) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t j = 0; j < nkw; ++j) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, j);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", f->spec->name);
            return false;
        }
        const int p = find_param(f, key);
        if (p < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", f->spec->name, key);
            return false;
        }
        if (p < nargs) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", f->spec->name,
                         key);
            return false;
        }
    }
    return true;
}

bool check_types(const FunctionObject* f, PyObject* const* out) {
    const MethodSpec& s = *f->spec;
    for (int i = 1; i < s.count; ++i)
        if (!check_argument_type(out[i], s.params[i].rule, s.params[i].name)) return false;
    return true;
}

// Fills out[0..count) with borrowed references: the positional arguments, then
// keywords and defaults. Checks run in a fixed order: too many positional
// arguments, a missing required parameter, bad keywords, then types.
bool bind(const FunctionObject* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
    const int total = f->spec->count;
    if (nargs > total) {
        count_error(f, true, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    const bool has_keywords = kwnames && PyTuple_GET_SIZE(kwnames) > 0;
    for (int i = static_cast<int>(nargs); i < total; ++i) {
        PyObject* v = has_keywords ? find_keyword(f->names[i], kwnames, args + nargs) : nullptr;
        if (!v) v = f->defaults[i];
        if (!v) {
            count_error(f, false, i);
            return false;
        }
        out[i] = v;
    }
    if (has_keywords && !check_keywords(f, nargs, kwnames)) return false;
    return check_types(f, out);
}

PyObject* check_result(const FunctionObject* f, PyObject* r) {
    if (!r || check_result_type(r, f->spec->result)) return r;
    Py_DECREF(r);  // the result is ours and refused
    return nullptr;
}

// --- the stack ---------------------------------------------------------------

// Python code run by a method (an entry's __str__, a replaced print, an
// __eq__) can call a method again, each round taking more C stack than the
// interpreter's recursion count allows for: a thread with a small stack would
// overflow before that count runs out. A call is refused while less than this
// (or a quarter of a smaller stack) is left of the calling thread's stack.
constexpr uintptr_t kStackReserve = 64 * 1024;

// The part of this thread's stack where a call is refused: from its lowest
// address up to `reserve` above it. Empty when the bounds are unknown.
struct StackEnd {
    uintptr_t low = 0;
    uintptr_t reserve = 0;
};

StackEnd find_stack_end() {
#if defined(__GLIBC__)
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return {};
    void* low = nullptr;
    size_t size = 0;
    const int rc = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0) return {};
    return {reinterpret_cast<uintptr_t>(low), size / 4 < kStackReserve ? size / 4 : kStackReserve};
#else
    return {};
#endif
}

bool stack_left() {
    thread_local const StackEnd end = find_stack_end();
    // Unsigned: a frame outside this stack (code running on a stack of its
    // own) is never refused.
    if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - end.low >= end.reserve) return true;
    PyErr_SetString(PyExc_RecursionError, "maximum recursion depth exceeded while calling an Atom method");
    return false;
}

// --- calls ------------------------------------------------------------------

PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    const FunctionObject* f = as_function(self);
    PyObject* bound[kMaxParams];
    if (!bind(f, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return nullptr;
    if (!stack_left() || Py_EnterRecursiveCall(" while calling an Atom method")) return nullptr;
    PyObject* r;
    try {
        r = f->spec->impl(bound);
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

// inspect.Signature built from the table: every parameter positional-or-keyword,
// annotations as the strings of the table.
Ref build_signature(const FunctionObject* f) {
    Ref inspect = Ref::steal(PyImport_ImportModule("inspect"));
    if (!inspect) return nullptr;
    Ref parameter = Ref::steal(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref signature = parameter ? Ref::steal(PyObject_GetAttrString(inspect.get(), "Signature")) : nullptr;
    Ref kind = signature ? Ref::steal(PyObject_GetAttrString(parameter.get(), "POSITIONAL_OR_KEYWORD")) : nullptr;
    if (!kind) return nullptr;
    const MethodSpec& s = *f->spec;
    Ref params = Ref::steal(PyList_New(0));
    if (!params) return nullptr;
    for (int i = 0; i < s.count; ++i) {
        Ref kwargs = Ref::steal(PyDict_New());
        if (!kwargs) return nullptr;
        if (f->defaults[i] && PyDict_SetItemString(kwargs.get(), "default", f->defaults[i]) < 0) return nullptr;
        if (s.params[i].annotation) {
            Ref ann = Ref::steal(PyUnicode_FromString(s.params[i].annotation));
            if (!ann || PyDict_SetItemString(kwargs.get(), "annotation", ann.get()) < 0) return nullptr;
        }
        Ref args = Ref::steal(PyTuple_Pack(2, f->names[i], kind.get()));
        Ref p = args ? Ref::steal(PyObject_Call(parameter.get(), args.get(), kwargs.get())) : nullptr;
        if (!p || PyList_Append(params.get(), p.get()) < 0) return nullptr;
    }
    Ref kwargs = Ref::steal(PyDict_New());
    if (!kwargs) return nullptr;
    if (s.returns) {
        Ref ret = Ref::steal(PyUnicode_FromString(s.returns));
        if (!ret || PyDict_SetItemString(kwargs.get(), "return_annotation", ret.get()) < 0) return nullptr;
    }
    Ref args = Ref::steal(PyTuple_Pack(1, params.get()));
    return args ? Ref::steal(PyObject_Call(signature.get(), args.get(), kwargs.get())) : nullptr;
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
    f->spec = &s;
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

bool check_argument_type(PyObject* v, Rule rule, const char* name) {
    if (rule == Rule::Any) return true;
    const bool ok = rule == Rule::Str ? PyUnicode_CheckExact(v) : PyLong_CheckExact(v);
    if (ok) return true;
    PyErr_Format(PyExc_TypeError, "Argument '%s' has incorrect type (expected %s, got %.200s)", name,
                 rule == Rule::Str ? "str" : "int", Py_TYPE(v)->tp_name);
    return false;
}

bool check_result_type(PyObject* v, Result rule) {
    if (rule == Result::Any || v == Py_None) return true;
    const bool ok = rule == Result::Int ? PyLong_CheckExact(v) : PyUnicode_CheckExact(v);
    if (ok) return true;
    PyErr_Format(PyExc_TypeError, "Expected %s, got %.200s", rule == Result::Int ? "int" : "unicode",
                 Py_TYPE(v)->tp_name);
    return false;
}

bool init_function_type() {
    function_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&function_spec));
    return function_type != nullptr;
}

Ref make_function(const MethodSpec& spec) {
    Ref obj = Ref::steal(PyType_GenericAlloc(function_type, 0));
    if (!obj) return nullptr;
    if (!fill_function(as_function(obj.get()), spec)) return nullptr;
    return obj;
}

Ref make_class_member(const MethodSpec& spec) {
    Ref fn = make_function(spec);
    if (!fn || spec.kind == Kind::Instance) return fn;
    return Ref::steal(PyClassMethod_New(fn.get()));
}

}  // namespace atom
