#include "python/signature.hpp"

namespace atom {

Ref build_signature(const FunctionObject* f) {
    Ref inspect = Ref::steal(PyImport_ImportModule("inspect"));
    if (!inspect) return nullptr;
    Ref parameter = Ref::steal(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref signature = parameter ? Ref::steal(PyObject_GetAttrString(inspect.get(), "Signature")) : nullptr;
    Ref kind = signature ? Ref::steal(PyObject_GetAttrString(parameter.get(), "POSITIONAL_OR_KEYWORD")) : nullptr;
    if (!kind) return nullptr;
    const MethodSpec& s = *f->method;
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

}  // namespace atom
