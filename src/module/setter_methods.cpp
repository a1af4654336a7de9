// The setters as the class exposes them.
#include "module/docstrings.hpp"
#include "module/methods.hpp"
#include "registry/atoms.hpp"
#include "setters/setters.hpp"

namespace atom {
namespace {

template <Setter Which>
PyObject* m_setter(PyObject* const* a) {
    PyObject* auto_modify = Which == Setter::Lone ? a[2] : Py_False;
    if (!require_atom(a[0]) || !run_setter(a[0], Which, a[1], auto_modify)) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace

namespace methods {

const MethodSpec set_charge{.name = "set_charge", .owner = "Atom", .kind = Kind::Instance,
                            .params = {{"self", nullptr}, {"charge", "int", Rule::Int}}, .count = 2,
                            .returns = "None", .result = Result::Any, .doc = doc::kSetCharge,
                            .impl = m_setter<Setter::Charge>};

const MethodSpec set_element{.name = "set_element", .owner = "Atom", .kind = Kind::Instance,
                             .params = {{"self", nullptr}, {"element", "str", Rule::Str}}, .count = 2,
                             .returns = "None", .result = Result::Any, .doc = doc::kSetElement,
                             .impl = m_setter<Setter::Element>};

const MethodSpec set_lone_electron{
    .name = "set_lone_electron",
    .owner = "Atom",
    .kind = Kind::Instance,
    .params = {{"self", nullptr},
               {"lone_electron", "int", Rule::Int},
               {"auto_modify", "bool", Rule::Any, Def::False}},
    .count = 3,
    .returns = "None",
    .result = Result::Any,
    .doc = doc::kSetLoneElectron,
    .impl = m_setter<Setter::Lone>,
};

}  // namespace methods
}  // namespace atom
