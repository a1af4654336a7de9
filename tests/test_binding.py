"""Argument binding shared by every method: counts, keywords, types, results, and the order of the checks."""
import pytest

import Atom

A = Atom.Atom


def type_error(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


@pytest.fixture
def c():
    return A("C")


COUNT_CASES = [
    # a class method with one required parameter
    ("get_atom", lambda c: A.get_atom(), "get_atom() takes exactly 2 positional arguments (1 given)"),
    ("get_atom", lambda c: A.get_atom(1, 2), "get_atom() takes exactly 2 positional arguments (3 given)"),
    ("delete_atom", lambda c: A.delete_atom(), "delete_atom() takes exactly 2 positional arguments (1 given)"),
    # no parameters besides self / cls: "argument", singular
    ("get_id", lambda c: c.get_id(1), "get_id() takes exactly 1 positional argument (2 given)"),
    ("get_all_atoms", lambda c: A.get_all_atoms(1),
     "get_all_atoms() takes exactly 1 positional argument (2 given)"),
    ("get_id", lambda c: A.get_id(), "get_id() takes exactly 1 positional argument (0 given)"),
    # required parameters and defaults
    ("bond", lambda c: A.bond(1), "bond() takes at least 3 positional arguments (2 given)"),
    ("bond", lambda c: A.bond(1, 2, "hydro", False, 5), "bond() takes at most 5 positional arguments (6 given)"),
    ("bond_with", lambda c: c.bond_with(), "bond_with() takes at least 2 positional arguments (1 given)"),
    ("bond_with", lambda c: c.bond_with(1, 2, 3, 4, 5),
     "bond_with() takes at most 5 positional arguments (6 given)"),
    ("set_lone_electron", lambda c: c.set_lone_electron(),
     "set_lone_electron() takes at least 2 positional arguments (1 given)"),
    ("set_charge", lambda c: c.set_charge(), "set_charge() takes exactly 2 positional arguments (1 given)"),
    ("set_charge", lambda c: c.set_charge(1, 2), "set_charge() takes exactly 2 positional arguments (3 given)"),
    ("break_bond", lambda c: A.break_bond(1, 2, 3),
     "break_bond() takes exactly 3 positional arguments (4 given)"),
    # only defaults
    ("__init__", lambda c: A("H", None, 0, None, True, False, 1),
     "__init__() takes at most 7 positional arguments (8 given)"),
    ("__bond_num", lambda c: A._Atom__bond_num("C", 0), "__bond_num() takes at least 4 positional arguments (3 given)"),
    # error constructors
    ("AtomError", lambda c: Atom.AtomError("m"), "__init__() takes exactly 3 positional arguments (2 given)"),
    ("IdError", lambda c: Atom.IdError("m", 1), "__init__() takes exactly 2 positional arguments (3 given)"),
]


@pytest.mark.parametrize("name, call, message", COUNT_CASES, ids=[f"{n}-{i}" for i, (n, _, _) in
                                                                  enumerate(COUNT_CASES)])
def test_count_errors(c, name, call, message):
    assert type_error(lambda: call(c)) == message


@pytest.mark.parametrize("call, message", [
    # a required parameter missing while a later one comes by keyword: counted up to the first missing one
    (lambda c: A.bond(atom_2=5), "bond() takes at least 3 positional arguments (1 given)"),
    (lambda c: A.bond(5, use="hydro"), "bond() takes at least 3 positional arguments (2 given)"),
    (lambda c: c.set_lone_electron(auto_modify=True),
     "set_lone_electron() takes at least 2 positional arguments (1 given)"),
    (lambda c: A.break_bond(atom_2=5), "break_bond() takes exactly 3 positional arguments (1 given)"),
    (lambda c: Atom.BondError(atom=5), "__init__() takes exactly 3 positional arguments (1 given)"),
])
def test_missing_required_parameter_with_later_keywords(c, call, message):
    assert type_error(lambda: call(c)) == message


def test_keyword_errors(c):
    assert type_error(lambda: A.bond(1, 2, colour=3)) == "bond() got an unexpected keyword argument 'colour'"
    assert type_error(lambda: c.bond_with(1, atom=2)) == "bond_with() got multiple values for keyword argument 'atom'"
    assert type_error(lambda: A(element="C", element_="C")) == \
        "__init__() got an unexpected keyword argument 'element_'"
    assert type_error(lambda: c.get_id(self=c)) == "get_id() got multiple values for keyword argument 'self'"
    # The interpreter itself refuses non-str keywords before the method is reached.
    assert type_error(lambda: c.bond_with(c, **{1: 2})).endswith("keywords must be strings")


def test_every_parameter_by_keyword(c):
    c2 = A("C")
    A.bond(atom_1=c, atom_2=c2, use="hydro", allow_carbene=False)
    c.break_bond_with(atom=c2, break_bond_back=True)
    c.bond_with(atom=c2, bond_back=True, use="lone_electron", allow_carbene=False)
    assert c.bonds.count(c2.id) == 1 and c2.bonds.count(c.id) == 1
    n = A(element="N", bonds=None, charge=1, lone_electron=None, bond_=True, auto_modify=False)
    assert (n.element, n.charge, len(n.bonds)) == ("N", 1, 4)
    assert A._Atom__bond_num(element="O", charge=0, lone_electron=4, existing_bond=None, id_=0,
                             auto_modify=False) == (2, 4)
    e = Atom.ChargeError(atom=3, message="m")
    assert (e.message, e.atom) == ("m", 3)


@pytest.mark.parametrize("call, message", [
    (lambda c: A(6), "Argument 'element' has incorrect type (expected str, got int)"),
    (lambda c: A("C", charge=True), "Argument 'charge' has incorrect type (expected int, got bool)"),
    (lambda c: A("C", charge=None), "Argument 'charge' has incorrect type (expected int, got NoneType)"),
    (lambda c: A("C", charge=1.0), "Argument 'charge' has incorrect type (expected int, got float)"),
    (lambda c: c.set_charge(True), "Argument 'charge' has incorrect type (expected int, got bool)"),
    (lambda c: c.set_charge(None), "Argument 'charge' has incorrect type (expected int, got NoneType)"),
    (lambda c: c.set_element(None), "Argument 'element' has incorrect type (expected str, got NoneType)"),
    (lambda c: c.set_lone_electron("2"), "Argument 'lone_electron' has incorrect type (expected int, got str)"),
    (lambda c: A._Atom__bond_num("C", 0, False), "Argument 'lone_electron' has incorrect type (expected int, got bool)"),
    (lambda c: A._Atom__bond_num("C", 0, 0, None, None),
     "Argument 'id_' has incorrect type (expected int, got NoneType)"),
    (lambda c: A._Atom__bond_num(b"C", 0, 0), "Argument 'element' has incorrect type (expected str, got bytes)"),
    (lambda c: Atom.AtomError(1, 1), "Argument 'message' has incorrect type (expected str, got int)"),
    (lambda c: Atom.AtomError("m", None), "Argument 'atom' has incorrect type (expected int, got NoneType)"),
    (lambda c: Atom.IdError(None), "Argument 'message' has incorrect type (expected str, got NoneType)"),
])
def test_type_checks(c, call, message):
    assert type_error(lambda: call(c)) == message


def test_subclasses_of_str_and_int_are_refused(c):
    class Symbol(str):
        pass

    class Number(int):
        pass

    assert type_error(lambda: A(Symbol("C"))) == "Argument 'element' has incorrect type (expected str, got Symbol)"
    assert type_error(lambda: c.set_charge(Number(1))) == \
        "Argument 'charge' has incorrect type (expected int, got Number)"


def test_unvalidated_parameters_take_any_value():
    # bond_, auto_modify, lone_electron (Optional) are not checked at binding time.
    h = A("H", bond_=0, auto_modify="yes")
    assert h.element == "H"
    assert type_error(lambda: A("C", lone_electron="2")) == \
        "Argument 'lone_electron' has incorrect type (expected int, got str)"  # from the accounting


def test_check_order(c):
    # too many positional arguments before anything else
    assert type_error(lambda: A.get_atom(1, 2, colour=3)) == \
        "get_atom() takes exactly 2 positional arguments (3 given)"
    # a missing required parameter before a bad keyword
    assert type_error(lambda: A.bond(1, colour=2)) == "bond() takes at least 3 positional arguments (2 given)"
    # bad keywords before types
    assert type_error(lambda: A(6, colour=1)) == "__init__() got an unexpected keyword argument 'colour'"
    assert type_error(lambda: A(6, element="C")) == "__init__() got multiple values for keyword argument 'element'"
    # types in parameter order, whatever the keyword order
    assert type_error(lambda: A(charge=True, element=6)) == \
        "Argument 'element' has incorrect type (expected str, got int)"
    # binding fails before the method runs: nothing is drawn or registered
    pool = list(A._Atom__id_pool)
    registry = dict(A.id_map)
    for call in (lambda: A(6), lambda: A("C", charge=True), lambda: A("C", colour=1)):
        with pytest.raises(TypeError):
            call()
    assert A._Atom__id_pool == pool and A.id_map == registry


def test_result_checks(c):
    c.charge = 1.5
    assert type_error(c.get_charge) == "Expected int, got float"
    c.charge = True
    assert type_error(c.get_charge) == "Expected int, got bool"
    c.charge = None
    assert c.get_charge() is None  # None passes the result check
    c.element = 6
    assert type_error(c.get_element) == "Expected unicode, got int"
    c.lone_electron = "0"
    assert type_error(c.get_lone_electron) == "Expected int, got str"
    A._Atom__id_pool[:] = ["x"]
    assert type_error(A._Atom__generate_id) == "Expected int, got str"


def test_result_check_of_the_id_getters(c):
    A.id_map["x"] = c
    c.id = "x"
    assert type_error(c.get_id) == "Expected int, got str"
    assert type_error(lambda: A.get_atom_id(c)) == "Expected int, got str"


def test_unchecked_results(c):
    # get_bonds and get_atom validate nothing: the attribute comes back as stored.
    c.bonds = "x"
    assert c.get_bonds() == "x"
    A.id_map[4321] = "not an atom"
    assert A.get_atom(4321) == "not an atom"
