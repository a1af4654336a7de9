"""The module object, its attributes, the class namespace and the function objects."""
import importlib
import inspect
import pydoc
import re
import sys
import typing

import pytest

import Atom

A = Atom.Atom

ALL = ["Atom", "bond", "delete_atom", "from_smiles", "get_all_atoms", "get_atom", "get_formula",
       "get_atom_id", "get_smiles", "reset_tags"]
ERRORS = ["AtomError", "BondError", "ChargeError", "ElementError", "IdError", "LoneElectronError",
          "SmilesError"]
ALIASES = ["bond", "break_bond", "delete_atom", "from_smiles", "get_all_atoms", "get_atom", "get_atom_id",
           "get_formula", "get_smiles", "reset_tags"]
METHODS = ["__init__", "__str__", "__repr__", "_Atom__generate_id", "_Atom__bond_num", "_Atom__remove_hydro",
           "bond", "break_bond", "delete_atom", "from_smiles", "get_all_atoms", "get_atom", "get_atom_id",
           "get_formula", "get_smiles", "reset_tags", "bond_with", "break_bond_with", "delete", "get_bonds",
           "get_charge", "get_element", "get_id", "get_lone_electron", "set_charge", "set_element",
           "set_lone_electron", "survive", "to_formula", "to_smiles"]
CLASS_METHODS = {"_Atom__generate_id", "_Atom__bond_num", "_Atom__remove_hydro", "bond", "break_bond",
                 "delete_atom", "from_smiles", "get_all_atoms", "get_atom", "get_atom_id", "get_formula",
                 "get_smiles", "reset_tags"}
SLOTS = ("access_tag", "bonds", "charge", "element", "id", "lone_electron")


MODULE_DOC = """
Brantor 0.0.5

Brantor is a library used for storing and editing chemical structural formulas. It provides an easy-to-use class Atom,
which primarily stores atoms to achieve functions such as structure registration, modification, and conversion.

All:
    Atom (class)
    bond (method)
    delete_atom (method)
    from_smiles (method)
    get_all_atoms (method)
    get_atom (method)
    get_atom_id (method)
    get_formula (method)
    get_smiles (method)
    reset_tags (method)
"""


def test_module_docstring():
    assert Atom.__doc__ == MODULE_DOC


def test_module_attributes_in_creation_order():
    spec_attrs = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__", "__cached__",
                  "__builtins__", "__path__"}
    own = [k for k in vars(Atom) if k not in spec_attrs]
    expected = ["random", *typing.__all__, "__all__", "Atom", *ERRORS, *ALIASES]
    assert own == expected
    assert Atom.random is sys.modules["random"]
    for name in typing.__all__:
        assert getattr(Atom, name) is getattr(typing, name)


def test_all_lists_the_ten_exports_in_order():
    assert Atom.__all__ == ALL
    assert type(Atom.__all__) is list


def test_star_import_binds_exactly_the_exports():
    ns = {}
    exec("from Atom import *", ns)
    ns.pop("__builtins__")
    assert sorted(ns) == sorted(ALL)
    assert "break_bond" not in ns


def test_repeated_import_returns_the_same_module():
    first = sys.modules["Atom"]
    again = importlib.import_module("Atom")
    assert again is first
    assert importlib.reload(Atom) is first and first.Atom is A  # initialisation did not run again
    spec = importlib.util.find_spec("Atom")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    assert module is first and module.Atom is A


def run_in_second_interpreter(code):
    """The error message a fresh subinterpreter's run of `code` ends with."""
    try:
        import _interpreters as si  # 3.13
    except ImportError:
        si = pytest.importorskip("_xxsubinterpreters")
    interp = si.create()
    try:
        if hasattr(si, "exec"):
            failure = si.exec(interp, code)
            return f"<class '{failure.type.__name__}'>: {failure.msg}" if failure else None
        with pytest.raises(si.RunFailedError) as info:
            si.run_string(interp, code)
        return str(info.value)
    finally:
        si.destroy(interp)


def test_second_interpreter_is_refused():
    message = run_in_second_interpreter(f"import sys; sys.path[:0] = {sys.path!r}\nimport Atom\n")
    assert message == ("<class 'ImportError'>: Interpreter change detected - this module can only be "
                       "loaded into one interpreter per process.")
    assert sys.modules["Atom"] is Atom


def test_aliases_are_class_methods_bound_to_the_class():
    for name in ALIASES:
        alias = getattr(Atom, name)
        assert alias.__self__ is A
        assert alias.__func__ is getattr(A, name).__func__


def test_aliases_behave_as_the_class_methods():
    c1, c2 = A("C"), A("C")
    assert Atom.get_atom(c1.id) is A.get_atom(c1.id) is c1
    assert Atom.get_atom_id(c1) == A.get_atom_id(c1) == c1.id
    assert Atom.get_all_atoms() == A.get_all_atoms() == list(A.id_map.values())
    Atom.bond(c1, c2.id)
    assert c1.bonds[0] == c2.id and c2.bonds[0] == c1.id
    Atom.break_bond(c1.id, c2)
    assert c2.id not in c1.bonds and (c1.lone_electron, c2.lone_electron) == (1, 1)
    c1.access_tag = True
    assert Atom.reset_tags() is None and c1.access_tag is False
    Atom.delete_atom(c1)
    assert c1.id not in A.id_map


# --- the class ------------------------------------------------------------------


def test_class_is_a_plain_class():
    assert type(A) is type
    assert A.__bases__ == (object,)
    assert A.__module__ == "Atom" and A.__qualname__ == "Atom" and A.__name__ == "Atom"
    assert A.__slots__ == SLOTS


def test_class_namespace_order():
    expected = ["__module__", "__doc__", "__annotations__", "__slots__", "_Atom__element_info", "id_map",
                "_Atom__id_pool", *METHODS, *SLOTS]
    assert list(vars(A)) == expected


def test_class_annotations():
    assert A.__annotations__ == {
        "_Atom__element_info": "Dict[str, List[any]]",
        "id_map": "Dict[int, 'Atom']",
        "_Atom__id_pool": "List[int]",
        "access_tag": "bool",
        "bonds": "Optional[List[int]]",
        "charge": "int",
        "element": "str",
        "id": "int",
        "lone_electron": "int",
    }
    assert list(A.__annotations__) == ["_Atom__element_info", "id_map", "_Atom__id_pool", *SLOTS]


def test_class_docstring_names_attributes_and_errors():
    doc = A.__doc__
    assert doc.startswith("The Atom class is used to represent an atom in a structure, containing its elements, "
                          "charge, lone pair electrons,")
    attributes = doc[doc.index("Attributes:"):doc.index("Raises:")]
    for name in ["element_info", "id_map", "id_pool", *SLOTS]:
        assert name in attributes
    raises = doc[doc.index("Raises:"):]
    for name in ERRORS[:-1]:
        assert name in raises
    assert "SmilesError" not in doc


def test_instances_have_only_the_slots():
    a = A()
    assert not hasattr(a, "__dict__")
    with pytest.raises(AttributeError):
        a.colour = "red"
    raw = A.__new__(A)
    for name in SLOTS:
        with pytest.raises(AttributeError):
            getattr(raw, name)


# --- function objects -------------------------------------------------------------

SIGNATURES = {
    "__init__": ("(self, element: 'str' = 'H', bonds: \"Optional[List[Union[int, 'Atom']]]\" = None, "
                 "charge: 'int' = 0, lone_electron: 'Optional[int]' = None, bond_: 'bool' = True, "
                 "auto_modify: 'bool' = False) -> 'None'"),
    "_Atom__generate_id": "(cls) -> 'int'",
    "_Atom__bond_num": ("(cls, element: 'str', charge: 'int', lone_electron: 'int', "
                        "existing_bond: 'Optional[List[int]]' = None, id_: 'int' = 0, "
                        "auto_modify: 'bool' = False) -> 'Tuple[int, int]'"),
    "_Atom__remove_hydro": "(cls, bonds: 'List[int]') -> 'List[int]'",
    "bond": ("(cls, atom_1: \"Union[int, 'Atom']\", atom_2: \"Union[int, 'Atom']\", "
             "use: \"Literal['hydro', 'lone_electron', 'all']\" = 'hydro', allow_carbene: 'bool' = False) "
             "-> 'None'"),
    "break_bond": "(cls, atom_1: \"Union[int, 'Atom']\", atom_2: \"Union[int, 'Atom']\") -> 'None'",
    "delete_atom": "(cls, atom: \"Union[int, 'Atom']\") -> 'None'",
    "get_all_atoms": "(cls) -> \"List['Atom']\"",
    "get_atom": "(cls, atom: \"Union[int, 'Atom']\") -> \"'Atom'\"",
    "get_atom_id": "(cls, atom: \"Union[int, 'Atom']\") -> 'int'",
    "reset_tags": "(cls) -> 'None'",
    "bond_with": ("(self, atom: \"Union[int, 'Atom']\", bond_back: 'bool' = True, "
                  "use: \"Literal['hydro', 'lone_electron', 'both']\" = 'hydro', allow_carbene: 'bool' = False) "
                  "-> 'None'"),
    "break_bond_with": "(self, atom: \"Union[int, 'Atom']\", break_bond_back: 'bool' = True) -> 'None'",
    "delete": "(self) -> 'None'",
    "get_bonds": "(self) -> 'List[int]'",
    "get_charge": "(self) -> 'int'",
    "get_element": "(self) -> 'str'",
    "get_id": "(self) -> 'int'",
    "get_lone_electron": "(self) -> 'int'",
    "set_charge": "(self, charge: 'int') -> 'None'",
    "set_element": "(self, element: 'str') -> 'None'",
    "set_lone_electron": "(self, lone_electron: 'int', auto_modify: 'bool' = False) -> 'None'",
    "survive": "(self) -> 'None'",
}


def raw_function(name):
    member = vars(A)[name]
    if name in CLASS_METHODS:
        assert type(member) is classmethod
        return member.__func__
    return member


@pytest.mark.parametrize("name", list(SIGNATURES))
def test_function_object_attributes(name):
    f = raw_function(name)
    plain = name.replace("_Atom__", "__")
    assert f.__name__ == plain
    assert f.__qualname__ == "Atom." + plain
    assert f.__module__ == "Atom"
    assert f.__kwdefaults__ is None
    sig = inspect.signature(f)
    assert str(sig) == SIGNATURES[name]
    defaults = tuple(p.default for p in sig.parameters.values() if p.default is not inspect.Parameter.empty)
    assert f.__defaults__ == (defaults or None)
    annotations = {p.name: p.annotation for p in sig.parameters.values()
                   if p.annotation is not inspect.Parameter.empty}
    annotations["return"] = sig.return_annotation
    assert f.__annotations__ == annotations
    assert list(f.__annotations__) == list(annotations)


def test_docstrings():
    for name in SIGNATURES:
        doc = raw_function(name).__doc__
        if name in ("_Atom__generate_id", "_Atom__bond_num", "_Atom__remove_hydro", "survive"):
            assert doc is None
        else:
            assert doc and "\n" not in doc.split("\n\n")[0], name
    delete_doc = A.delete.__doc__
    assert delete_doc == A.delete_atom.__doc__
    assert delete_doc.startswith("Delete the current atom, Remove it from the list of registered atoms.")
    assert "Raises:" in delete_doc and "AtomError" in delete_doc
    assert A.set_charge.__doc__.startswith("Set the charge attribute to a new number.")
    assert A.set_element.__doc__.startswith("Set the element attribute to a new number.")
    assert A.set_lone_electron.__doc__.startswith("Set the lone_electron attribute to a new number.")
    assert "Whether to automatically adjust the number of lone electrons. Default to False." in \
        A.set_lone_electron.__doc__


def unwrap_signatures(text):
    """pydoc's plain text with every signature on one line: from 3.13 on, pydoc
    writes a long signature one parameter per line."""
    def join(match):
        params = [line.strip(" |").rstrip(",") for line in match.group(2).splitlines()]
        return f"{match.group(1)}({', '.join(params)}){match.group(3)}"
    return re.sub(r"(\w+)\(\n((?: \|      .*\n)+) \|  \)(.*)", join, text)


def test_help_renders():
    text = unwrap_signatures(pydoc.render_doc(A, renderer=pydoc.plaintext))
    for name in METHODS:
        if not name.startswith("_Atom__"):
            line = f" |  {name}{inspect.signature(getattr(A, name))}"
            # 3.12 names a class method's class after its signature.
            assert f"{line}\n" in text or f"{line} from builtins.type\n" in text, name
    assert "bond_with(self, atom: \"Union[int, 'Atom']\", bond_back: 'bool' = True" in text
    assert "get_atom(atom: \"Union[int, 'Atom']\") -> \"'Atom'\"" in text
    assert "Delete the current atom, Remove it from the list of registered atoms." in text


def names_class(hint):
    return hint is A or any(names_class(arg) for arg in typing.get_args(hint))


@pytest.mark.parametrize("f", [raw_function(n) for n in METHODS] + [getattr(Atom, n) for n in ALIASES],
                         ids=METHODS + ["module." + n for n in ALIASES])
def test_type_hints_resolve(f):
    # The annotation strings resolve in the module's namespace, the methods' __globals__.
    assert f.__globals__ is vars(Atom)
    before = dict(f.__annotations__)
    hints = typing.get_type_hints(f)
    assert f.__annotations__ == before
    assert list(hints) == list(before)
    for name, text in before.items():
        assert names_class(hints[name]) == ("Atom" in text), name
