// The extension brantor._native: the text functions, with failures raised as
// ValueError(reason, position), the walk of a structure, and the geometry of
// pictures (draw_module.cpp). No C++ exception crosses this file: an
// allocation that fails is reported as MemoryError.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>

#include "draw_module.hpp"
#include "molecule.hpp"
#include "walk.hpp"

namespace {

using namespace kekule;

struct State {
    Molecule molecule;
    Failure failure;
    std::string out;
};

thread_local State state;

PyObject* raise_failure(const Failure& failure) {
    PyObject* args = Py_BuildValue("(si)", failure.reason.c_str(), failure.position);
    if (args) {
        PyErr_SetObject(PyExc_ValueError, args);
        Py_DECREF(args);
    }
    return nullptr;
}

// The text as ASCII, or a failure at its first other character.
bool ascii_text(PyObject* text, std::string_view& view) {
    if (!PyUnicode_Check(text)) {
        PyErr_Format(PyExc_TypeError, "SMILES must be str, not %.200s", Py_TYPE(text)->tp_name);
        return false;
    }
    if (!PyUnicode_IS_ASCII(text)) {
        Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        for (Py_ssize_t i = 0; i < length; ++i)
            if (PyUnicode_READ_CHAR(text, i) > 127) {
                raise_failure({"unexpected character", static_cast<int>(i)});
                return false;
            }
    }
    view = std::string_view(static_cast<const char*>(PyUnicode_DATA(text)), PyUnicode_GET_LENGTH(text));
    return true;
}

// Parses, folds and kekulizes the text into the state; false with an
// exception set when it cannot be read.
bool read_text(PyObject* text, bool strict, std::string_view& view) {
    if (!ascii_text(text, view)) return false;
    if (view.size() > 1000000) {
        raise_failure({"text longer than a million characters", 0});
        return false;
    }
    if (!parse(view, strict, state.molecule, state.failure) || !fold_hydrogens(state.molecule, state.failure) ||
        !kekulize(state.molecule, state.failure)) {
        raise_failure(state.failure);
        return false;
    }
    return true;
}

bool positional(Py_ssize_t nargs, Py_ssize_t wanted, const char* name) {
    if (nargs == wanted) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments (%zd given)", name, wanted, nargs);
    return false;
}

PyObject* py_kekulize(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (!positional(nargs, 2, "kekulize")) return nullptr;
    int strict = PyObject_IsTrue(args[1]);
    std::string_view view;
    try {
        if (strict < 0 || !read_text(args[0], strict != 0, view)) return nullptr;
        write(state.molecule, view, state.out);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    return PyUnicode_FromStringAndSize(state.out.data(), static_cast<Py_ssize_t>(state.out.size()));
}

// Each atom alone with its bonds, each to a carbon ("N(=C)(C)C"): the
// valence model judges an atom by these alone, so a structure it refuses is
// refused at the first atom whose text fails.
std::string star_of(const Molecule& m, int atom) {
    std::string star;
    write_atom(m, atom, star);
    for (int e = m.first[atom]; e < m.first[atom + 1]; ++e) {
        if (m.atoms[m.other(m.edges[e], atom)].removed) continue;
        int order = m.bonds[m.edges[e]].order;
        star += order == 3 ? "(#C)" : order == 2 ? "(=C)" : "(C)";
    }
    return star;
}

PyObject* atoms_of(PyObject* const* args, Py_ssize_t nargs);

PyObject* py_atoms(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    try {
        return atoms_of(args, nargs);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

PyObject* atoms_of(PyObject* const* args, Py_ssize_t nargs) {
    std::string_view view;
    if (!positional(nargs, 1, "atoms") || !read_text(args[0], false, view)) return nullptr;
    const Molecule& m = state.molecule;
    PyObject* list = PyList_New(0);
    for (int i = 0; list && i < static_cast<int>(m.atoms.size()); ++i) {
        if (m.atoms[i].removed) continue;
        std::string star = star_of(m, i);
        PyObject* item = Py_BuildValue("(iis#)", m.atoms[i].component, m.atoms[i].position, star.data(),
                                       static_cast<Py_ssize_t>(star.size()));
        if (!item || PyList_Append(list, item) < 0) Py_CLEAR(list);
        Py_XDECREF(item);
    }
    return list;
}

PyObject* py_structure(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (!positional(nargs, 2, "structure")) return nullptr;
    try {
        return walk_structure(args[0], args[1]);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

PyMethodDef methods[] = {
    {"kekulize", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_kekulize)), METH_FASTCALL,
     "kekulize(smiles, strict) -> str: the text in the Kekulé form that Atom.from_smiles reads."},
    {"atoms", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_atoms)), METH_FASTCALL,
     "atoms(smiles) -> list of (component, position, text of the atom with its bonds)."},
    {"structure", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_structure)), METH_FASTCALL,
     "structure(atom, registry) -> list of the atoms bonded to atom directly or not, atom first."},
    {"crowded", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_crowded)), METH_FASTCALL,
     "crowded(points, bonds) -> whether the drawing puts atoms or bonds too close or bonds off one length."},
    {"place_hydrogens", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_place_hydrogens)),
     METH_FASTCALL,
     "place_hydrogens(neighbours, frame, points, bonds) -> [(atom, x, y)]: the frame atoms' other neighbours placed."},
    {"relax", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_relax)), METH_FASTCALL,
     "relax(points, bonds, held, whole, swing) -> [(x, y)]: a crowded drawing eased."},
    {"free_directions", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_free_directions)),
     METH_FASTCALL, "free_directions(angles, count) -> count directions in the widest gaps between the angles."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "_native",
    "The C++ parts of brantor: SMILES into Kekulé form, walks of structures, the geometry of pictures.", -1, methods,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__native() { return PyModule_Create(&module); }
