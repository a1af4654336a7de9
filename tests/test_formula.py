import builtins
import threading

import pytest

import Atom
from Atom import Atom as A


def methane():
    return A("C")


def ethanol():
    c1 = A("C")
    A("O", [A("C", [c1])])
    return c1


def chloromethane():
    return A.get_atom(A("Cl", [A("C")]).bonds[0])


def hydrogens_of(atom):
    return [A.get_atom(i) for i in atom.bonds if A.get_atom(i).element == "H"]


@pytest.mark.parametrize("build, formula", [
    (methane, "CH4"),
    (lambda: hydrogens_of(A("C"))[2], "CH4"),
    (ethanol, "C2H6O"),
    (lambda: A("O"), "H2O"),
    (lambda: A("N"), "H3N"),
    (lambda: A("Cl"), "ClH"),
    (chloromethane, "CH3Cl"),
    (lambda: A(), "H2"),
    (lambda: A("H", charge=1), "H"),
    (lambda: A("N", charge=1), "H4N"),
])
def test_hill_formula(build, formula, capsys):
    start = build()
    assert Atom.get_formula(start) == formula
    assert A.get_formula(start.id) == formula
    capsys.readouterr()


def test_other_structures_are_not_counted(capsys):
    A("O")
    assert A("C").to_formula() == "CH4"


def test_double_bond_counts_the_partner_once(capsys):
    c = A("C")
    o = A("O", [c])
    c.bond_with(o)
    assert Atom.get_formula(c) == "CH2O"


def test_printing_is_post_order_and_skips_the_start(capsys):
    c1 = ethanol()
    c2 = A.get_atom(c1.bonds[0])
    o = A.get_atom(c2.bonds[1])
    order = [*hydrogens_of(o), o, *hydrogens_of(c2), c2, *hydrogens_of(c1)]
    capsys.readouterr()
    Atom.get_formula(c1)
    assert capsys.readouterr().out.splitlines() == [str(a) for a in order]


def test_single_atom_prints_nothing(capsys):
    Atom.get_formula(A("H", charge=1))
    assert capsys.readouterr().out == ""


def test_print_is_looked_up_at_each_call(monkeypatch):
    seen = []
    monkeypatch.setattr(builtins, "print", seen.append)
    c = A("C")
    assert c.to_formula() == "CH4"
    assert seen == hydrogens_of(c)
    module_seen = []
    monkeypatch.setattr(Atom, "print", module_seen.append, raising=False)
    c.to_formula()
    assert module_seen == hydrogens_of(c) and len(seen) == 4


def test_marks_are_clear_after_success(capsys):
    A("O")
    Atom.get_formula(ethanol())
    assert all(a.access_tag is False for a in A.get_all_atoms())


def test_nested_form_adds_to_the_given_tally(capsys):
    tally = {"C": 1, "H": 0, "O": 0}
    assert A("O").to_formula(False, tally) == ""
    assert tally == {"C": 1, "H": 2, "O": 1}
    with pytest.raises(TypeError):
        A("O").to_formula(False)


def test_unregistered_neighbour_fails_and_leaves_marks(capsys):
    c1 = A("C")
    c2 = A("C", [c1])
    c2.delete()
    with pytest.raises(Atom.AtomError) as e:
        Atom.get_formula(c1)
    assert e.value.atom == c2.id
    assert c1.access_tag is True


@pytest.mark.parametrize("mutate", [
    lambda a: a.delete(),
    lambda a: [A.get_atom(i).delete() for i in list(a.bonds) if i in A.id_map],
    lambda a: A.id_map.clear(),
    lambda a: a.bonds.clear(),
    lambda a: a.bonds.extend(a.bonds * 3),
    lambda a: setattr(a, "bonds", None),
    lambda a: setattr(a, "access_tag", False),
])
def test_print_that_changes_the_structure_never_crashes(monkeypatch, mutate):
    start = ethanol()
    monkeypatch.setattr(builtins, "print", mutate)
    try:
        result = start.to_formula()
    except Exception:
        return
    assert isinstance(result, str)


def test_print_that_resets_the_marks_cannot_walk_forever(monkeypatch):
    start = ethanol()
    monkeypatch.setattr(builtins, "print", lambda a: A.reset_tags())
    with pytest.raises(RecursionError):
        start.to_formula()


def test_a_replaced_display_form_is_what_print_shows(monkeypatch, capsys):
    c = A("C")
    monkeypatch.setattr(A, "__str__", lambda self: f"atom {self.id}")
    c.to_formula()
    assert capsys.readouterr().out.splitlines() == [f"atom {h}" for h in c.bonds]


def test_a_display_form_that_deletes_atoms_never_crashes(monkeypatch, capsys):
    start = ethanol()

    def destructive(self):
        for i in list(self.bonds):
            if i in A.id_map:
                A.get_atom(i).delete()
        return "gone"

    monkeypatch.setattr(A, "__str__", destructive)
    with pytest.raises(Atom.AtomError):
        start.to_formula()


def run_in_small_stack(fn):
    result = {}
    old = threading.stack_size(256 * 1024)
    try:
        t = threading.Thread(target=lambda: result.update(value=fn()))
        t.start()
        t.join()
    finally:
        threading.stack_size(old)
    return result.get("value")


def carbon_chain(n):
    chain = [A("C")]
    for _ in range(n - 1):
        chain.append(A("C", [chain[-1]]))
    return chain


def test_long_chain_in_a_small_stack_thread(monkeypatch):
    chain = carbon_chain(2999)
    monkeypatch.setattr(builtins, "print", lambda a: None)
    assert run_in_small_stack(lambda: Atom.get_formula(chain[0])) == "C2999H6000"
    assert run_in_small_stack(lambda: Atom.get_formula(chain[1500])) == "C2999H6000"
