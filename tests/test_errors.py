"""The seven error classes of the module."""
import inspect

import pytest

import Atom

NAMES = ["AtomError", "BondError", "ChargeError", "ElementError", "IdError", "LoneElectronError", "SmilesError"]
WITH_ATOM = [n for n in NAMES if n != "IdError"]


@pytest.mark.parametrize("name", NAMES)
def test_class_shape(name):
    cls = getattr(Atom, name)
    assert cls.__bases__ == (Exception,)
    assert cls.__module__ == "Atom" and cls.__qualname__ == name
    own = [k for k in vars(cls) if not k.startswith("__") or k == "__init__"]
    assert own == ["__init__"]
    if name == "IdError":
        assert cls.__annotations__ == {"message": "str"}
        assert str(inspect.signature(cls.__init__)) == "(self, message: 'str')"
    else:
        atom = "Optional[int]" if name == "SmilesError" else "int"
        assert cls.__annotations__ == {"atom": atom, "message": "str"}
        assert list(cls.__annotations__) == ["atom", "message"]
        assert cls.__init__.__annotations__ == {"message": "str", "atom": atom}
        assert list(cls.__init__.__annotations__) == ["message", "atom"]
        assert cls.__init__.__defaults__ is None


@pytest.mark.parametrize("name", WITH_ATOM)
def test_message_and_atom(name):
    cls = getattr(Atom, name)
    e = cls("[Atom 1000] something", 1000)
    assert e.message == "[Atom 1000] something" and e.atom == 1000
    assert e.args == ("[Atom 1000] something",)
    assert str(e) == "[Atom 1000] something"
    assert repr(e) == f"{name}('[Atom 1000] something')"
    with pytest.raises(cls) as info:
        raise cls("m", atom=7)
    assert info.value.atom == 7


def test_id_error_has_no_atom():
    e = Atom.IdError("pool")
    assert e.message == "pool" and e.args == ("pool",) and str(e) == "pool"
    assert not hasattr(e, "atom")


def test_atom_may_be_none_only_for_smiles_errors():
    assert Atom.SmilesError("m", None).atom is None
    for name in WITH_ATOM[:-1]:
        with pytest.raises(TypeError, match=r"^Argument 'atom' has incorrect type \(expected int, got NoneType\)$"):
            getattr(Atom, name)("m", None)
    with pytest.raises(TypeError, match="expected int, got bool"):
        Atom.AtomError("m", True)


def test_classes_are_unrelated():
    classes = [getattr(Atom, n) for n in NAMES]
    for a in classes:
        for b in classes:
            assert issubclass(a, b) == (a is b)
    with pytest.raises(Atom.BondError):
        try:
            raise Atom.BondError("m", 1)
        except Atom.AtomError:  # must not catch it
            pytest.fail("a BondError was caught as an AtomError")


def test_subclass_and_reinitialisation():
    class Mine(Atom.ChargeError):
        pass

    e = Mine("first", 1)
    assert isinstance(e, Atom.ChargeError) and e.atom == 1
    e.__init__("second", 2)
    assert (e.message, e.atom, e.args) == ("second", 2, ("second",))


def test_init_refuses_a_non_exception_self():
    with pytest.raises(TypeError):
        Atom.AtomError.__init__(object(), "m", 1)
