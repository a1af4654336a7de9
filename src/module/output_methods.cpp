// The text output methods as the class exposes them.
#include "module/docstrings.hpp"
#include "module/methods.hpp"
#include "output/display.hpp"
#include "output/formula.hpp"
#include "output/smiles_writer.hpp"
#include "registry/atoms.hpp"

namespace atom {
namespace {

PyObject* m_display(PyObject* const* a) {
    if (!require_atom(a[0])) return nullptr;
    return display_form(a[0]).release();
}

PyObject* m_to_formula(PyObject* const* a) {
    if (!require_atom(a[0])) return nullptr;
    return to_formula(a[0], a[1], a[2]).release();
}

PyObject* m_to_smiles(PyObject* const* a) {
    if (!require_atom(a[0])) return nullptr;
    return to_smiles(a[0], a[1], a[2]).release();
}

PyObject* m_get_formula(PyObject* const* a) {
    Ref atom = resolve_atom(a[1]);
    return atom ? to_formula(atom.get(), Py_True, Py_None).release() : nullptr;
}

PyObject* m_get_smiles(PyObject* const* a) {
    Ref atom = resolve_atom(a[1]);
    return atom ? to_smiles(atom.get(), Py_True, Py_None).release() : nullptr;
}

constexpr Param kSelf{"self", nullptr};
constexpr Param kCls{"cls", nullptr};
constexpr Param kAtom{"atom", "'Atom'"};
constexpr Param kTop{"top", "bool", Rule::Any, Def::True};
constexpr Param kVal{"val", "Optional[List[any]]", Rule::Any, Def::None};

}  // namespace

namespace methods {

const MethodSpec str_{.name = "__str__", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf}, .count = 1,
                      .returns = "str", .result = Result::Any, .doc = nullptr, .impl = m_display};

const MethodSpec repr_{.name = "__repr__", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf},
                       .count = 1, .returns = "str", .result = Result::Any, .doc = nullptr, .impl = m_display};

const MethodSpec get_formula{.name = "get_formula", .owner = "Atom", .kind = Kind::Class, .params = {kCls, kAtom},
                             .count = 2, .returns = "str", .result = Result::Str, .doc = doc::kGetFormula,
                             .impl = m_get_formula};

const MethodSpec get_smiles{.name = "get_smiles", .owner = "Atom", .kind = Kind::Class, .params = {kCls, kAtom},
                            .count = 2, .returns = "str", .result = Result::Str, .doc = doc::kGetSmiles,
                            .impl = m_get_smiles};

const MethodSpec to_formula{.name = "to_formula", .owner = "Atom", .kind = Kind::Instance,
                            .params = {kSelf, kTop, kVal}, .count = 3, .returns = "str", .result = Result::Any,
                            .doc = doc::kToFormula, .impl = m_to_formula};

const MethodSpec to_smiles{.name = "to_smiles", .owner = "Atom", .kind = Kind::Instance,
                           .params = {kSelf, kTop, kVal}, .count = 3, .returns = "str", .result = Result::Any,
                           .doc = doc::kToSmiles, .impl = m_to_smiles};

}  // namespace methods
}  // namespace atom
