// Module initialisation: one module object per process, in one interpreter.
#include "module/docstrings.hpp"
#include "module/probe.hpp"
#include "python/errors.hpp"
#include "python/function.hpp"
#include "module/methods.hpp"
#include "python/state.hpp"
#include "module/atom_class.hpp"
#include "registry/atoms.hpp"
#include "registry/ids.hpp"
#include "registry/pool_batch.hpp"
#include "python/settle_hook.hpp"

#include <atomic>

namespace atom {

State g;

namespace {

std::atomic<int64_t> main_interpreter{-1};

bool same_interpreter() {
    const int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    int64_t expected = -1;
    if (main_interpreter.compare_exchange_strong(expected, current)) return current != -1;
    if (expected == current) return true;
    PyErr_SetString(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one interpreter per process.");
    return false;
}

bool intern(PyObject** slot, const char* text) {
    *slot = PyUnicode_InternFromString(text);
    return *slot != nullptr;
}

bool init_names() {
    Names& n = g.names;
    static const char* const slots[kSlotCount] = {"access_tag", "bonds", "charge", "element", "id", "lone_electron"};
    for (int i = 0; i < kSlotCount; ++i)
        if (!intern(&n.slot_names[i], slots[i])) return false;
    return intern(&n.id_map, "id_map") && intern(&n.id_pool, "_Atom__id_pool") &&
           intern(&n.element_info, "_Atom__element_info") && intern(&n.random, "random") &&
           intern(&n.randint, "randint") && intern(&n.randrange, "randrange") && intern(&n.randbelow, "_randbelow") &&
           intern(&n.getrandbits, "getrandbits") && intern(&n.index, "_index") && intern(&n.print, "print") &&
           intern(&n.message, "message") && intern(&n.atom, "atom") && intern(&n.copy, "copy") &&
           intern(&n.count, "count") && intern(&n.remove, "remove") && intern(&n.pop, "pop") &&
           intern(&n.H, "H") && intern(&n.C, "C") && intern(&n.hydro, "hydro") &&
           intern(&n.lone_electron, "lone_electron") && intern(&n.both, "both") && intern(&n.empty, "");
}

bool init_constants() {
    g.const_zero = PyLong_FromLong(0);
    g.const_one = PyLong_FromLong(1);
    g.const_two = PyLong_FromLong(2);
    g.builtins = PyImport_ImportModule("builtins");
    return g.const_zero && g.const_one && g.const_two && g.builtins;
}

bool enter_in_sys_modules(PyObject* module) {
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* present = PyDict_GetItemString(modules, "Atom");
    return present || PyDict_SetItemString(modules, "Atom", module) == 0;
}

bool import_random(PyObject* module) {
    Ref random = Ref::steal(PyImport_ImportModule("random"));
    // Recorded draws are settled before Python code can run; a call from
    // Python code into the module records nothing for the one it interrupts.
    settle_hook = settle_pool;
    last_release_hook = settle_before_release;
    quiet_release_check = quiet_release;
    enter_from_python_hook = enter_from_python;
    leave_to_python_hook = leave_to_python;
    return random && PyModule_AddObjectRef(module, "random", random.get()) == 0 &&
           init_random_fast_path(random.get());
}

// from typing import *
bool import_typing(PyObject* module) {
    Ref typing = Ref::steal(PyImport_ImportModule("typing"));
    Ref names = typing ? Ref::steal(PyObject_GetAttrString(typing.get(), "__all__")) : nullptr;
    Ref seq = names ? Ref::steal(PySequence_Fast(names.get(), "typing.__all__ must be a sequence")) : nullptr;
    if (!seq) return false;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
        PyObject* name = PySequence_Fast_GET_ITEM(seq.get(), i);
        Ref value = Ref::steal(PyObject_GetAttr(typing.get(), name));
        if (!value || PyObject_SetAttr(module, name, value.get()) < 0) return false;
    }
    return true;
}

bool set_all(PyObject* module) {
    static const char* const exported[] = {"Atom",          "bond",     "delete_atom", "from_smiles",
                                           "get_all_atoms", "get_atom", "get_formula", "get_atom_id",
                                           "get_smiles",    "reset_tags"};
    Ref all = Ref::steal(PyList_New(0));
    if (!all) return false;
    for (const char* name : exported) {
        Ref s = Ref::steal(PyUnicode_InternFromString(name));
        if (!s || PyList_Append(all.get(), s.get()) < 0) return false;
    }
    return PyModule_AddObjectRef(module, "__all__", all.get()) == 0;
}

bool bind_aliases(PyObject* module) {
    for (const char* name : module_aliases()) {
        Ref bound = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(g.atom_type), name));
        if (!bound || PyModule_AddObjectRef(module, name, bound.get()) < 0) return false;
    }
    return true;
}

bool run_init(PyObject* module) {
    if (!init_names() || !init_constants() || !init_function_type()) return false;
    if (!enter_in_sys_modules(module)) return false;
    Ref doc = Ref::steal(PyUnicode_FromString(doc::kModule));
    if (!doc || PyObject_SetAttrString(module, "__doc__", doc.get()) < 0) return false;
    return import_random(module) && import_typing(module) && set_all(module) && init_atom_class(module) &&
           init_error_classes(module) && bind_aliases(module) && install_probe();
}

// Copies spec.<attr> to module.<name>, skipping None.
bool copy_spec_attr(PyObject* spec, PyObject* module, const char* attr, const char* name) {
    Ref value = Ref::steal(PyObject_GetAttrString(spec, attr));
    if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        return true;
    }
    return value.get() == Py_None || PyObject_SetAttrString(module, name, value.get()) == 0;
}

PyObject* module_create(PyObject* spec, PyModuleDef*) {
    if (!same_interpreter()) return nullptr;
    if (g.module) return Py_NewRef(g.module);
    Ref name = Ref::steal(PyObject_GetAttrString(spec, "name"));
    Ref module = name ? Ref::steal(PyModule_NewObject(name.get())) : nullptr;
    if (!module) return nullptr;
    if (!copy_spec_attr(spec, module.get(), "loader", "__loader__") ||
        !copy_spec_attr(spec, module.get(), "origin", "__file__") ||
        !copy_spec_attr(spec, module.get(), "parent", "__package__") ||
        !copy_spec_attr(spec, module.get(), "submodule_search_locations", "__path__"))
        return nullptr;
    return module.release();
}

int module_exec(PyObject* module) {
    if (g.module) {
        if (g.module == module) return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'Atom' has already been imported. Re-initialisation is not supported.");
        return -1;
    }
    g.module = Py_NewRef(module);
    bool ok;
    try {
        ok = run_init(module);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        ok = false;
    }
    if (ok) return 0;
    Py_CLEAR(g.module);  // a failed initialisation may be tried again
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "init Atom");
    return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(module_create)},
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "Atom",
    nullptr,
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace atom

PyMODINIT_FUNC PyInit_Atom(void) { return PyModuleDef_Init(&atom::module_def); }
