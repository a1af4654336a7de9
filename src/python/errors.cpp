#include "python/errors.hpp"
#include "python/settle_hook.hpp"

#include "python/function.hpp"

namespace atom {
namespace {

// Error constructors: store message and atom, then Exception.__init__(self, self.message).
PyObject* error_init(PyObject* const* a, bool has_atom) {
    PyObject* self = a[0];
    if (!PyExceptionInstance_Check(self)) {
        PyErr_Format(PyExc_TypeError, "__init__() requires an exception instance, not '%.200s'",
                     Py_TYPE(self)->tp_name);
        return nullptr;
    }
    if (PyObject_SetAttr(self, g.names.message, a[1]) < 0) return nullptr;
    if (has_atom && PyObject_SetAttr(self, g.names.atom, a[2]) < 0) return nullptr;
    Ref message = Ref::steal(PyObject_GetAttr(self, g.names.message));
    if (!message) return nullptr;
    Ref args = Ref::steal(PyTuple_Pack(1, message.get()));
    if (!args) return nullptr;
    if (reinterpret_cast<PyTypeObject*>(PyExc_Exception)->tp_init(self, args.get(), nullptr) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyObject* error_init_with_atom(PyObject* const* a) { return error_init(a, true); }
PyObject* error_init_message_only(PyObject* const* a) { return error_init(a, false); }

constexpr const char* kInitDoc = "Store the message and the atom concerned, and set the exception's args.";

#define ERROR_SPEC(cls, atom_annotation)                                                              \
    MethodSpec {                                                                                    \
        .name = "__init__", .owner = cls, .kind = Kind::Instance,                                  \
        .params = {{"self", nullptr},                                                               \
                   {"message", "str", Rule::Str},                                                   \
                   {"atom", atom_annotation,                                                        \
                    atom_annotation[0] == 'i' ? Rule::Int : Rule::Any}},                            \
        .count = 3, .returns = nullptr, .result = Result::Any, .doc = kInitDoc,                     \
        .impl = error_init_with_atom                                                                \
    }

const MethodSpec kErrorInits[kErrorCount] = {
    ERROR_SPEC("AtomError", "int"),
    ERROR_SPEC("BondError", "int"),
    ERROR_SPEC("ChargeError", "int"),
    ERROR_SPEC("ElementError", "int"),
    MethodSpec{.name = "__init__",
               .owner = "IdError",
               .kind = Kind::Instance,
               .params = {{"self", nullptr}, {"message", "str", Rule::Str}},
               .count = 2,
               .returns = nullptr,
               .result = Result::Any,
               .doc = kInitDoc,
               .impl = error_init_message_only},
    ERROR_SPEC("LoneElectronError", "int"),
    ERROR_SPEC("SmilesError", "Optional[int]"),
};
#undef ERROR_SPEC

const char* const kErrorDocs[kErrorCount] = {
    "Raised when an atom does not exist or cannot be resolved.",
    "Raised when a bond cannot be formed or broken.",
    "Raised when a charge does not fit the element.",
    "Raised when an element is not supported.",
    "Raised when no free atom id is left.",
    "Raised when a number of lone electrons does not fit the atom.",
    "Raised when a SMILES string cannot be read or written.",
};

Ref make_error_class(int index) {
    const MethodSpec& init = kErrorInits[index];
    const bool has_atom = init.count == 3;
    Ref ns = Ref::steal(PyDict_New());
    Ref annotations = Ref::steal(PyDict_New());
    Ref name = Ref::steal(PyUnicode_FromString(init.owner));
    Ref doc = Ref::steal(PyUnicode_FromString(kErrorDocs[index]));
    if (!ns || !annotations || !name || !doc) return nullptr;
    if (has_atom) {
        Ref ann = Ref::steal(PyUnicode_FromString(init.params[2].annotation));
        if (!ann || PyDict_SetItem(annotations.get(), g.names.atom, ann.get()) < 0) return nullptr;
    }
    Ref str_ann = Ref::steal(PyUnicode_FromString("str"));
    if (!str_ann || PyDict_SetItem(annotations.get(), g.names.message, str_ann.get()) < 0) return nullptr;
    Ref init_fn = make_function(init);
    if (!init_fn) return nullptr;
    Ref module_name = Ref::steal(PyUnicode_FromString("Atom"));
    if (!module_name) return nullptr;
    if (PyDict_SetItemString(ns.get(), "__module__", module_name.get()) < 0 ||
        PyDict_SetItemString(ns.get(), "__qualname__", name.get()) < 0 ||
        PyDict_SetItemString(ns.get(), "__doc__", doc.get()) < 0 ||
        PyDict_SetItemString(ns.get(), "__annotations__", annotations.get()) < 0 ||
        PyDict_SetItemString(ns.get(), "__init__", init_fn.get()) < 0)
        return nullptr;
    return Ref::steal(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "O(O)O", name.get(),
                                            PyExc_Exception, ns.get()));
}

Ref message_str(const Text& message) { return message.to_str(); }

}  // namespace

bool init_error_classes(PyObject* module) {
    for (int i = 0; i < kErrorCount; ++i) {
        Ref cls = make_error_class(i);
        if (!cls) return false;
        if (PyModule_AddObjectRef(module, kErrorInits[i].owner, cls.get()) < 0) return false;
        g.errors[i] = cls.release();
    }
    return true;
}

Ref new_error(ErrorKind kind, PyObject* message, PyObject* atom) {
    settle_before_python();  // the class may be given a __setattr__ or a metaclass of its own
    PyTypeObject* cls = reinterpret_cast<PyTypeObject*>(error_class(kind));
    Ref args = Ref::steal(PyTuple_Pack(1, message));
    if (!args) return nullptr;
    Ref exc = Ref::steal(cls->tp_new(cls, args.get(), nullptr));
    if (!exc) return nullptr;
    if (PyObject_SetAttr(exc.get(), g.names.message, message) < 0) return nullptr;
    if (kind != ErrorKind::Id && PyObject_SetAttr(exc.get(), g.names.atom, atom ? atom : Py_None) < 0)
        return nullptr;
    return exc;
}

bool raise_error(ErrorKind kind, const Text& message, PyObject* atom) {
    Ref msg = message_str(message);
    if (!msg) return false;
    Ref exc = new_error(kind, msg.get(), atom);
    if (!exc) return false;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
    return false;
}

bool raise_error_from(ErrorKind kind, const Text& message, PyObject* atom, Ref cause) {
    Ref msg = message_str(message);
    if (!msg) return false;
    Ref exc = new_error(kind, msg.get(), atom);
    if (!exc) return false;
    // As `raise new from cause` (or `from None`) outside any handler of the
    // cause: the context is the exception the caller is handling, if any.
    PyException_SetCause(exc.get(), cause.release());
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
    return false;
}

bool raise_error_from_caught(ErrorKind kind, const Text& message, PyObject* atom, Ref caught) {
    Ref msg = message_str(message);
    Ref exc = msg ? new_error(kind, msg.get(), atom) : nullptr;
    if (!exc) return false;
    PyException_SetContext(exc.get(), caught.new_ref());
    PyException_SetCause(exc.get(), caught.release());
    PyErr_SetRaisedException(exc.release());
    return false;
}

bool is_ordinary_exception(PyObject* exc) { return PyObject_TypeCheck(exc, reinterpret_cast<PyTypeObject*>(PyExc_Exception)); }

void wrap_conversion_failure(DescribeFailure describe, const void* context) {
    SavedError caught;
    if (!caught) {
        PyErr_SetString(PyExc_SystemError, "a SMILES conversion failed without an exception");
        return;
    }
    if (!is_ordinary_exception(caught.get()) ||
        Py_IS_TYPE(caught.get(), reinterpret_cast<PyTypeObject*>(error_class(ErrorKind::Smiles)))) {
        caught.restore();
        return;
    }
    Text m;
    Ref atom = Ref::borrow(Py_None);
    if (!describe(context, m, &atom)) {
        SavedError during;
        PyException_SetContext(during.get(), caught.take().release());
        during.restore();
        return;
    }
    raise_error_from_caught(ErrorKind::Smiles, m, atom.get(), caught.take());
}

}  // namespace atom
