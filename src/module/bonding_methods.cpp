// The bonding methods as the class exposes them.
#include "valence/accounting.hpp"
#include "breaking/break.hpp"
#include "bonding/form.hpp"
#include "module/docstrings.hpp"
#include "module/methods.hpp"
#include "registry/atoms.hpp"

namespace atom {
namespace {

PyObject* m_bond_num(PyObject* const* a) {
    const AccountArgs args{a[0], a[1], a[2], a[3], a[4], a[5], a[6]};
    Capacity cap{};
    if (!bond_num(args, &cap)) return nullptr;
    return Py_BuildValue("(LL)", static_cast<long long>(cap.bonds), static_cast<long long>(cap.lone));
}

PyObject* m_remove_hydro(PyObject* const* a) { return remove_hydro(a[1]).release(); }

PyObject* m_bond_with(PyObject* const* a) {
    if (!require_atom(a[0]) || !bond_with(a[0], a[1], a[2], a[3], a[4])) return nullptr;
    Py_RETURN_NONE;
}

PyObject* m_bond(PyObject* const* a) {
    Ref first = resolve_atom(a[1]);
    Ref second = first ? resolve_atom(a[2]) : nullptr;
    if (!second || !bond_with(first.get(), second.get(), Py_True, a[3], a[4])) return nullptr;
    Py_RETURN_NONE;
}

PyObject* m_break_bond_with(PyObject* const* a) {
    if (!require_atom(a[0]) || !break_bond_with(a[0], a[1], a[2])) return nullptr;
    Py_RETURN_NONE;
}

PyObject* m_break_bond(PyObject* const* a) {
    Ref first = resolve_atom(a[1]);
    Ref second = first ? resolve_atom(a[2]) : nullptr;
    if (!second || !break_bond_with(first.get(), second.get(), Py_True)) return nullptr;
    Py_RETURN_NONE;
}

constexpr Param kAllowCarbene{"allow_carbene", "bool", Rule::Any, Def::False};

}  // namespace

namespace methods {

const MethodSpec bond_num{
    .name = "__bond_num",
    .owner = "Atom",
    .kind = Kind::Class,
    .params = {{"cls", nullptr},
               {"element", "str", Rule::Str},
               {"charge", "int", Rule::Int},
               {"lone_electron", "int", Rule::Int},
               {"existing_bond", "Optional[List[int]]", Rule::Any, Def::None},
               {"id_", "int", Rule::Int, Def::Zero},
               {"auto_modify", "bool", Rule::Any, Def::False}},
    .count = 7,
    .returns = "Tuple[int, int]",
    .result = Result::Any,
    .doc = nullptr,
    .impl = m_bond_num,
};

const MethodSpec remove_hydro{.name = "__remove_hydro", .owner = "Atom", .kind = Kind::Class,
                              .params = {{"cls", nullptr}, {"bonds", "List[int]"}}, .count = 2,
                              .returns = "List[int]", .result = Result::Any, .doc = nullptr,
                              .impl = m_remove_hydro};

const MethodSpec bond{
    .name = "bond",
    .owner = "Atom",
    .kind = Kind::Class,
    .params = {{"cls", nullptr},
               {"atom_1", "Union[int, 'Atom']"},
               {"atom_2", "Union[int, 'Atom']"},
               {"use", "Literal['hydro', 'lone_electron', 'all']", Rule::Any, Def::Text, "hydro"},
               kAllowCarbene},
    .count = 5,
    .returns = "None",
    .result = Result::Any,
    .doc = doc::kBond,
    .impl = m_bond,
};

const MethodSpec bond_with{
    .name = "bond_with",
    .owner = "Atom",
    .kind = Kind::Instance,
    .params = {{"self", nullptr},
               {"atom", "Union[int, 'Atom']"},
               {"bond_back", "bool", Rule::Any, Def::True},
               {"use", "Literal['hydro', 'lone_electron', 'both']", Rule::Any, Def::Text, "hydro"},
               kAllowCarbene},
    .count = 5,
    .returns = "None",
    .result = Result::Any,
    .doc = doc::kBondWith,
    .impl = m_bond_with,
};

const MethodSpec break_bond{.name = "break_bond", .owner = "Atom", .kind = Kind::Class,
                            .params = {{"cls", nullptr}, {"atom_1", "Union[int, 'Atom']"}, {"atom_2", "Union[int, 'Atom']"}},
                            .count = 3, .returns = "None", .result = Result::Any, .doc = doc::kBreakBond,
                            .impl = m_break_bond};

const MethodSpec break_bond_with{
    .name = "break_bond_with",
    .owner = "Atom",
    .kind = Kind::Instance,
    .params = {{"self", nullptr}, {"atom", "Union[int, 'Atom']"}, {"break_bond_back", "bool", Rule::Any, Def::True}},
    .count = 3,
    .returns = "None",
    .result = Result::Any,
    .doc = doc::kBreakBondWith,
    .impl = m_break_bond_with,
};

}  // namespace methods
}  // namespace atom
