import builtins

import pytest

import Atom
from Atom import Atom as A
from conftest import hydrogens_of, in_small_stack, nonexistent, raises


def ethanol():
    c1 = A("C")
    A("O", [A("C", [c1])])
    return c1


@pytest.mark.parametrize("build, formula", [
    (lambda: A("C"), "CH4"),
    (lambda: hydrogens_of(A("C"))[2], "CH4"),
    (ethanol, "C2H6O"),
    (lambda: A("O"), "H2O"),
    (lambda: A("N"), "H3N"),
    (lambda: A("Cl"), "ClH"),
    (lambda: A("Cl", [A("C")]), "CH3Cl"),
    (lambda: A(), "H2"),
    (lambda: A("H", charge=1), "H"),
])
def test_hill_formula(build, formula, capsys):
    A("O")  # another structure, not counted
    start = build()
    assert Atom.get_formula(start) == formula == A.get_formula(start.id)
    assert all(a.access_tag is False for a in A.get_all_atoms())


@pytest.mark.parametrize("first", ["H", "O"])
def test_hill_order_follows_a_reordered_table(first, capsys):
    # The text removes "H" from the table's keys and then leaves out their first entry.
    table = A._Atom__element_info
    original = dict(table)
    try:
        rows = [(first, table[first])] + [(k, v) for k, v in original.items() if k != first]
        table.clear()
        table.update(rows)
        keys = [k for k, _ in rows]
        start = A("O", [A("C")])
        keys.remove("H")
        counts = {"C": 1, "H": 4, "O": 1}
        expected = "".join(e + (str(counts[e]) if counts[e] > 1 else "")
                           for e in ["C", "H"] + keys[1:] if counts.get(e, 0) >= 1)
        assert Atom.get_formula(start) == expected
    finally:
        table.clear()
        table.update(original)


def test_double_bond_counts_the_partner_once(capsys):
    c = A("C")
    c.bond_with(A("O", [c]))
    assert c.to_formula() == "CH2O"


def test_post_order_printing_skips_the_start(capsys):
    c1 = ethanol()
    c2 = A.get_atom(c1.bonds[0])
    o = A.get_atom(c2.bonds[1])
    capsys.readouterr()
    Atom.get_formula(c1)
    order = [*hydrogens_of(o), o, *hydrogens_of(c2), c2, *hydrogens_of(c1)]
    assert capsys.readouterr().out.splitlines() == [str(a) for a in order]
    Atom.get_formula(A("H", charge=1))
    assert capsys.readouterr().out == ""


def test_print_is_looked_up_at_each_call(monkeypatch):
    c = A("C")
    seen, module_seen = [], []
    monkeypatch.setattr(builtins, "print", seen.append)
    c.to_formula()
    monkeypatch.setattr(Atom, "print", module_seen.append, raising=False)
    c.to_formula()
    assert seen == module_seen == hydrogens_of(c)
    monkeypatch.delattr(Atom, "print")
    monkeypatch.delattr(builtins, "print")
    e = raises(NameError, c.to_formula)
    assert str(e) == "name 'print' is not defined"


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
        c1.to_formula()
    assert e.value.atom == c2.id and c1.access_tag is True


def delete_neighbours(a):
    for i in list(a.bonds):
        if i in A.id_map:
            A.get_atom(i).delete()
    return "gone"


def middle_carbon_and_its_first_hydrogen(start):
    """Ethanol's walk prints the oxygen's hydrogen, then the oxygen, then walks on to these two."""
    middle = A.get_atom(start.bonds[0])
    return middle, A.get_atom(middle.bonds[2])


@pytest.mark.parametrize("mutate, failing", [
    (lambda a: a.delete(), None),
    (delete_neighbours, lambda middle, hydrogen: middle),  # deleted with the oxygen; its hydrogen looks it up
    (lambda a: A.id_map.clear(), lambda middle, hydrogen: hydrogen),
    (lambda a: a.bonds.clear(), None),  # each atom is printed after its own bonds were walked
    (lambda a: a.bonds.extend(a.bonds * 3), None),
    (lambda a: setattr(a, "bonds", None), None),
])
@pytest.mark.parametrize("hook", ["print", "__str__"])
def test_callbacks_that_change_the_structure_never_crash(monkeypatch, capsys, mutate, failing, hook):
    start = ethanol()
    missing = failing and failing(*middle_carbon_and_its_first_hydrogen(start))
    if hook == "print":
        monkeypatch.setattr(builtins, "print", mutate)
    else:
        monkeypatch.setattr(A, "__str__", lambda self: str(mutate(self)))
    if missing is None:
        assert start.to_formula() == "C2H6O"
    else:
        assert raises(Atom.AtomError, start.to_formula).message == nonexistent(missing.id)


def test_print_that_resets_the_marks_cannot_walk_forever(monkeypatch):
    monkeypatch.setattr(builtins, "print", lambda a: A.reset_tags())
    with pytest.raises(RecursionError):
        ethanol().to_formula()


def test_long_chain_in_a_small_stack_thread(monkeypatch):
    chain = [A("C")]
    for _ in range(2998):
        chain.append(A("C", [chain[-1]]))
    monkeypatch.setattr(builtins, "print", lambda a: None)
    assert in_small_stack(chain[1500].to_formula) == "C2999H6000"
