#include "module/probe.hpp"

#include "python/fast_paths.hpp"

#ifdef ATOM_PROBE
#include "python/ref.hpp"
#include "registry/pool_batch.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <frameobject.h>
#endif

namespace atom {

#ifdef ATOM_PROBE
namespace {

int check_settled(PyObject*, PyFrameObject* frame, int what, PyObject*) {
    if (what != PyTrace_CALL || !pool_unsettled()) return 0;
    Ref code = Ref::steal(reinterpret_cast<PyObject*>(PyFrame_GetCode(frame)));
    PyObject* name = code ? reinterpret_cast<PyCodeObject*>(code.get())->co_qualname : nullptr;
    std::fprintf(stderr, "Atom: Python code (%s) ran while the module's state was unsettled\n",
                 name ? PyUnicode_AsUTF8(name) : "?");
    Py_FatalError("Python code ran on unsettled state");
}

PyObject* probe_counts(PyObject*, PyObject*) {
    Ref counts = Ref::steal(PyDict_New());
    if (!counts) return nullptr;
    for (size_t p = 0; p < static_cast<size_t>(FastPath::Count); ++p) {
        Ref n = Ref::steal(PyLong_FromUnsignedLongLong(fast_path_counts[p]));
        if (!n || PyDict_SetItemString(counts.get(), kFastPathNames[p], n.get()) < 0) return nullptr;
    }
    return counts.release();
}

PyObject* probe_reset(PyObject*, PyObject*) {
    for (uint64_t& n : fast_path_counts) n = 0;
    Py_RETURN_NONE;
}

PyMethodDef probe_methods[] = {
    {"counts", probe_counts, METH_NOARGS, "How often each fast path engaged since the last reset()."},
    {"reset", probe_reset, METH_NOARGS, "Sets every count to zero."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_def = {PyModuleDef_HEAD_INIT, "_atom_probe", "The test build's probe of the Atom module.",
                         -1, probe_methods};

// Shuts the gates named in ATOM_PROBE_SHUT; an unknown name is an error, so a
// misspelt one cannot pass for a check.
bool shut_named_gates() {
    const char* names = std::getenv("ATOM_PROBE_SHUT");
    if (!names) return true;
    std::string rest(names);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string name = rest.substr(0, comma);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
        size_t p = 0;
        while (p < static_cast<size_t>(FastPath::Count) && name != kFastPathNames[p]) ++p;
        if (p == static_cast<size_t>(FastPath::Count)) {
            PyErr_Format(PyExc_ValueError, "ATOM_PROBE_SHUT names no fast path: '%s'", name.c_str());
            return false;
        }
        fast_path_shut[p] = true;
    }
    return true;
}

}  // namespace

bool install_probe() {
    if (!shut_named_gates()) return false;
    Ref probe = Ref::steal(PyModule_Create(&probe_def));
    if (!probe || PyDict_SetItemString(PyImport_GetModuleDict(), "_atom_probe", probe.get()) < 0) return false;
    PyEval_SetProfileAllThreads(check_settled, nullptr);
    return !PyErr_Occurred();
}
#else
bool install_probe() { return true; }
#endif

}  // namespace atom
