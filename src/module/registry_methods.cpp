// The registry's methods as the class exposes them.
#include "module/docstrings.hpp"
#include "module/methods.hpp"
#include "python/foreign.hpp"
#include "registry/atoms.hpp"
#include "registry/ids.hpp"
#include "registry/tags.hpp"
#include "construction/construct.hpp"

namespace atom {
namespace {

PyObject* none_or_null(bool ok) {
    if (!ok) return nullptr;
    Py_RETURN_NONE;
}

PyObject* m_init(PyObject* const* a) {
    if (!require_atom(a[0])) return nullptr;
    const int bond_ = foreign::is_true(a[5]);
    if (bond_ < 0) return nullptr;
    const NewAtom in{.element = a[1],
                     .bonds = a[2],
                     .charge = a[3],
                     .lone = a[4],
                     .bond_ = bond_ != 0,
                     .auto_modify = a[6]};
    return none_or_null(init_atom(a[0], in));
}

PyObject* m_generate_id(PyObject* const*) { return draw_id().release(); }

PyObject* m_get_all_atoms(PyObject* const*) {
    Ref map = registry_map();
    return map ? PyDict_Values(map.get()) : nullptr;
}

PyObject* m_get_atom(PyObject* const* a) { return get_atom(a[1]).release(); }
PyObject* m_get_atom_id(PyObject* const* a) { return get_atom_id(a[1]).release(); }

PyObject* m_reset_tags(PyObject* const*) { return none_or_null(reset_all_tags()); }

PyObject* m_delete_atom(PyObject* const* a) {
    Ref atom = resolve_atom(a[1]);
    return none_or_null(atom && delete_atom_object(atom.get()));
}

PyObject* m_delete(PyObject* const* a) { return none_or_null(require_atom(a[0]) && delete_atom_object(a[0])); }

PyObject* m_survive(PyObject* const* a) { return none_or_null(require_atom(a[0]) && confirm(a[0])); }

// get_bonds() hands the attribute back as stored, list or not; only the
// operations that walk the bonds require a list.
PyObject* m_get_bonds(PyObject* const* a) {
    if (!require_atom(a[0]) || !confirm(a[0])) return nullptr;
    return slot_ref(a[0], Slot::Bonds).release();
}

template <Ref (*Getter)(PyObject*)>
PyObject* m_getter(PyObject* const* a) {
    if (!require_atom(a[0])) return nullptr;
    return Getter(a[0]).release();
}

constexpr Param kSelf{"self", nullptr};
constexpr Param kCls{"cls", nullptr};
constexpr Param kAtomArg{"atom", "Union[int, 'Atom']"};

}  // namespace

namespace methods {

const MethodSpec init{
    .name = "__init__",
    .owner = "Atom",
    .kind = Kind::Instance,
    .params = {kSelf,
               {"element", "str", Rule::Str, Def::Text, "H"},
               {"bonds", "Optional[List[Union[int, 'Atom']]]", Rule::Any, Def::None},
               {"charge", "int", Rule::Int, Def::Zero},
               {"lone_electron", "Optional[int]", Rule::Any, Def::None},
               {"bond_", "bool", Rule::Any, Def::True},
               {"auto_modify", "bool", Rule::Any, Def::False}},
    .count = 7,
    .returns = "None",
    .result = Result::Any,
    .doc = doc::kInit,
    .impl = m_init,
};

const MethodSpec generate_id{.name = "__generate_id", .owner = "Atom", .kind = Kind::Class,
                             .params = {kCls}, .count = 1, .returns = "int", .result = Result::Int,
                             .doc = nullptr, .impl = m_generate_id};

const MethodSpec delete_atom{.name = "delete_atom", .owner = "Atom", .kind = Kind::Class,
                             .params = {kCls, kAtomArg}, .count = 2, .returns = "None", .result = Result::Any,
                             .doc = doc::kDelete, .impl = m_delete_atom};

const MethodSpec get_all_atoms{.name = "get_all_atoms", .owner = "Atom", .kind = Kind::Class,
                               .params = {kCls}, .count = 1, .returns = "List['Atom']", .result = Result::Any,
                               .doc = doc::kGetAllAtoms, .impl = m_get_all_atoms};

const MethodSpec get_atom{.name = "get_atom", .owner = "Atom", .kind = Kind::Class, .params = {kCls, kAtomArg},
                          .count = 2, .returns = "'Atom'", .result = Result::Any, .doc = doc::kGetAtom,
                          .impl = m_get_atom};

const MethodSpec get_atom_id{.name = "get_atom_id", .owner = "Atom", .kind = Kind::Class,
                             .params = {kCls, kAtomArg}, .count = 2, .returns = "int", .result = Result::Int,
                             .doc = doc::kGetAtomId, .impl = m_get_atom_id};

const MethodSpec reset_tags{.name = "reset_tags", .owner = "Atom", .kind = Kind::Class, .params = {kCls},
                            .count = 1, .returns = "None", .result = Result::Any, .doc = doc::kResetTags,
                            .impl = m_reset_tags};

const MethodSpec delete_{.name = "delete", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf},
                         .count = 1, .returns = "None", .result = Result::Any, .doc = doc::kDelete,
                         .impl = m_delete};

const MethodSpec get_bonds{.name = "get_bonds", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf},
                           .count = 1, .returns = "List[int]", .result = Result::Any, .doc = doc::kGetBonds,
                           .impl = m_get_bonds};

const MethodSpec get_charge{.name = "get_charge", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf},
                            .count = 1, .returns = "int", .result = Result::Int, .doc = doc::kGetCharge,
                            .impl = m_getter<atom::get_charge>};

const MethodSpec get_element{.name = "get_element", .owner = "Atom", .kind = Kind::Instance,
                             .params = {kSelf}, .count = 1, .returns = "str", .result = Result::Str,
                             .doc = doc::kGetElement, .impl = m_getter<atom::get_element>};

const MethodSpec get_id{.name = "get_id", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf},
                        .count = 1, .returns = "int", .result = Result::Int, .doc = doc::kGetId,
                        .impl = m_getter<atom::get_id>};

const MethodSpec get_lone_electron{.name = "get_lone_electron", .owner = "Atom", .kind = Kind::Instance,
                                   .params = {kSelf}, .count = 1, .returns = "int", .result = Result::Int,
                                   .doc = doc::kGetLoneElectron, .impl = m_getter<atom::get_lone>};

const MethodSpec survive{.name = "survive", .owner = "Atom", .kind = Kind::Instance, .params = {kSelf},
                         .count = 1, .returns = "None", .result = Result::Any, .doc = nullptr,
                         .impl = m_survive};

}  // namespace methods
}  // namespace atom
