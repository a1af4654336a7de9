"""Reading SMILES into registered, bonded atoms."""
import random
import re
import threading

import pytest

import Atom
from Atom import Atom as A, SmilesError
from conftest import free_and_used_ids, ALL_IDS
from data.corpus import CORPUS


def formula(atom):
    return Atom.get_formula(atom)


def element(i):
    return A.id_map[i].element


def hydrogens(atom):
    return sum(element(i) == "H" for i in atom.bonds)


def heavy(atom):
    return [i for i in atom.bonds if element(i) != "H"]


def read_error(text):
    with pytest.raises(SmilesError) as info:
        A.from_smiles(text)
    assert info.value.atom is None
    return info.value


class TestStructures:
    @pytest.mark.parametrize("text, expected", [
        ("CCO", "C2H6O"), ("C=O", "CH2O"), ("C#N", "CHN"), ("CC(=O)O", "C2H4O2"),
        ("C(C)(C)(C)C", "C5H12"), ("CC(C)", "C3H8"), ("C1CC1", "C3H6"), ("C0CC0", "C3H6"),
        ("C%12CC%12", "C3H6"), ("c1ccccc1", "C6H12"), ("C1CC", "C3H8"), ("[NH4+]", "H4N"),
        ("[O-]", "O"), ("[CH2]", "CH2"), ("[O-]C", "CH3O"), ("ClC(Br)(F)I", "CBrClFI"), ("ClC(Br)F", "CHBrClF"),
        ("OP(O)(O)=O", "H3O4P"), ("CS", "CH4S"),
    ])
    def test_formula(self, text, expected):
        assert formula(A.from_smiles(text)) == expected

    def test_returns_the_first_atom_with_everything_registered(self):
        c = A.from_smiles("CCO")
        assert c.element == "C" and len(A.id_map) == 9
        assert sorted(a.element for a in A.get_all_atoms()) == ["C", "C", "H", "H", "H", "H", "H", "H", "O"]
        assert all(a.access_tag is False for a in A.get_all_atoms())

    def test_multiple_bonds_are_listed_once_per_bond(self):
        c = A.from_smiles("C=O")
        o = A.id_map[heavy(c)[0]]
        assert c.bonds.count(o.id) == 2 and o.bonds.count(c.id) == 2 and o.bonds == [c.id, c.id]
        c = A.from_smiles("C#N")
        assert c.bonds.count(heavy(c)[0]) == 3 and hydrogens(c) == 1

    def test_branches_come_before_the_continuation(self):
        first = A.from_smiles("CC(=O)O")
        middle = A.id_map[first.bonds[0]]
        o1, o2 = (A.id_map[i] for i in dict.fromkeys(heavy(middle)) if i != first.id)
        # the middle carbon's bond list: branch oxygen twice, last oxygen, then the first carbon
        assert middle.bonds == [o1.id, o1.id, o2.id, first.id]
        assert hydrogens(o1) == 0 and hydrogens(o2) == 1

    def test_aromatic_letters_are_plain_atoms(self):
        c = A.from_smiles("c1ccccc1")
        ring = [a for a in A.get_all_atoms() if a.element == "C"]
        assert len(ring) == 6 and all(hydrogens(a) == 2 and len(set(heavy(a))) == 2 for a in ring)
        assert c.lone_electron == 0

    def test_two_letter_elements(self):
        br = A.from_smiles("BrCCl")
        assert br.element == "Br" and formula(br) == "CH2BrCl"


class TestBracketAtoms:
    def test_top_level_counts(self):
        n = A.from_smiles("[NH4+]")
        assert (n.element, n.charge, hydrogens(n), n.lone_electron) == ("N", 1, 4, 0)
        o = A.from_smiles("[O-]")
        assert (o.charge, o.bonds, o.lone_electron) == (-1, [], 7)
        c = A.from_smiles("[CH2]")
        assert (hydrogens(c), c.lone_electron) == (2, 2)

    @pytest.mark.parametrize("text, expected, bracket_hydrogens", [
        ("C[CH2]C", "C3H8", 2),
        ("C[NH3+]", "CH6N", 3),
        ("CC(=O)[O-]", "C2H3O2", 0),
        ("C[N+](=O)[O-]", "CH3NO2", 0),
        ("NC(=[NH2+])N", "CH6N3", 2),
    ])
    def test_nested_bracket_atoms_keep_their_written_hydrogens(self, text, expected, bracket_hydrogens):
        first = A.from_smiles(text)
        assert formula(first) == expected
        charged = [a for a in A.get_all_atoms() if a.charge > 0] or [a for a in A.get_all_atoms() if a.charge]
        bracket = charged[0] if charged else A.id_map[heavy(first)[0]]
        assert hydrogens(bracket) == bracket_hydrogens

    def test_methylammonium(self):
        c = A.from_smiles("C[NH3+]")
        n = A.id_map[heavy(c)[0]]
        assert (n.charge, hydrogens(n), n.lone_electron) == (1, 3, 0)


class TestRings:
    @pytest.mark.parametrize("text", ["C1CCCCC=1", "C=1CCCCC1", "C=1CCCCC=1"])
    def test_ring_bond_takes_the_symbol_written_at_either_end(self, text):
        first = A.from_smiles(text)
        assert formula(first) == "C6H10"
        doubles = [a for a in A.get_all_atoms() if any(a.bonds.count(i) == 2 for i in set(a.bonds))]
        assert len(doubles) == 2

    def test_conflicting_ring_symbols(self):
        error = read_error("C=1CCCCC#1")
        assert str(error) == '[Smiles "C=1CCCCC#1"] Ring bond 1 is written with two different bond orders.'

    @pytest.mark.parametrize("text, expected", [
        ("C1CC1C1CC1", "C6H10"), ("C1CC(C1)C1CC1", "C7H12"), ("C1CC1C1CC1C1CC1", "C9H14"),
        ("C1CC1CC%01C", "C6H12"),
    ])
    def test_labels_are_used_again_once_closed(self, text, expected):
        assert formula(A.from_smiles(text)) == expected

    def test_bicyclopropyl_is_two_rings_joined_by_one_bond(self):
        first = A.from_smiles("C1CC1C1CC1")
        carbons = [a for a in A.get_all_atoms() if a.element == "C"]
        assert sorted(len(heavy(a)) for a in carbons) == [2, 2, 2, 2, 3, 3]
        assert len(heavy(first)) == 2

    def test_a_label_used_once_only_reserves_hydrogens(self):
        first = A.from_smiles("C1CC")
        assert hydrogens(first) == 3 and formula(first) == "C3H8"

    def test_the_same_label_twice_on_one_atom_fails(self):
        error = read_error("C11")
        assert isinstance(error.__cause__, Atom.BondError)


class TestMessages:
    @pytest.mark.parametrize("text, message", [
        ("[CH3", 'A parentheses in "[CH3..." have never been closed.'),
        ("C[NH4+", 'A parentheses in "[NH4+..." have never been closed.'),
        ("CC(C", 'A parentheses in "(C..." have never been closed.'),
        ("C(CC(C)", 'A parentheses in "(CC(..." have never been closed.'),
        ("[C+x]", 'Unresolved charge number "+x".'),
        ("[N+H4]", 'Unresolved charge number "+H4".'),
        ("[C-x]", 'Unresolved charge number "-x".'),
        ("[CHx]", 'Unresolved hydrogen atoms number "x".'),
        ("[HH]", 'Unresolved hydrogen atoms number "H".'),
        ("C%C", "Unresolved atom ref. An Atom ref should be an non-negative integer."),
        ("C=%C", "Unresolved atom ref. An Atom ref should be an non-negative integer."),
    ])
    def test_reading_errors(self, text, message):
        error = read_error(text)
        assert str(error) == f'[Smiles "{text}"] {message}' and error.message == str(error)
        assert error.__cause__ is None

    @pytest.mark.parametrize("text, context", [("[C+x]", ValueError), ("[CHx]", ValueError), ("C%C", KeyError)])
    def test_context_of_reading_errors_raised_while_the_caller_handles_another(self, text, context):
        # The number's ValueError stays the context of its message even inside the caller's handler,
        # and it is itself raised in that handler; the other messages take the caller's exception.
        try:
            raise KeyError("the caller's")
        except KeyError:
            error = read_error(text)
        chain = error.__context__
        assert type(chain) is context
        if context is ValueError:
            chain = chain.__context__
        assert type(chain) is KeyError

    @pytest.mark.parametrize("text, cause", [
        ("", IndexError), ("C-C", Atom.ElementError), ("C.C", Atom.ElementError), ("Xc", Atom.ElementError),
        ("[13CH4]", Atom.ElementError), ("C=", IndexError), ("C()", IndexError), ("[H+]", Atom.ElementError),
        ("[H]", Atom.ElementError), ("=C", Atom.ElementError), ("CP(C)(C)(C)C", Exception), ("CIC", Exception),
        ("[CH5]", Atom.LoneElectronError),
    ])
    def test_other_failures_are_wrapped_once(self, text, cause):
        error = read_error(text)
        assert str(error) == f'[Smiles "{text}"] Failed to convert from SMILES. Something goes wrong when trying to convert.'
        assert isinstance(error.__cause__, cause) and type(error.__cause__) is not SmilesError

    def test_a_later_fault_is_reported_before_an_earlier_element(self):
        error = read_error("XC(C")
        assert "have never been closed" in str(error)

    def test_argument_type(self):
        with pytest.raises(TypeError, match=r"^Argument 'smiles' has incorrect type \(expected str, got int\)$"):
            A.from_smiles(123)
        with pytest.raises(TypeError, match="takes at least 2 positional arguments"):
            A.from_smiles()


class TestFailedReadingsRegisterNothing:
    @pytest.mark.parametrize("text", ["XC", "CC(C", "C1CC1C(C)(C)(C)(C)C", "CCCCC[C+x]", "C=1CC#1", "OC(", "CC11"])
    def test_registry_and_free_ids_unchanged(self, text):
        kept = A.from_smiles("CCO")
        before_atoms = A.get_all_atoms()
        before_free = sorted(A._Atom__id_pool)
        with pytest.raises(SmilesError):
            A.from_smiles(text)
        assert A.get_all_atoms() == before_atoms
        assert sorted(A._Atom__id_pool) == before_free
        assert formula(kept) == "C2H6O"

    def test_bad_lines_do_not_exhaust_the_registry(self):
        for _ in range(2000):
            with pytest.raises(SmilesError):
                A.from_smiles("CCCCX")
        assert formula(A.from_smiles("CCO")) == "C2H6O"
        assert free_and_used_ids() == ALL_IDS

    def test_atoms_built_on_another_thread_meanwhile_are_not_the_readings(self, monkeypatch):
        # Any call into Python lets other threads run; what they build is theirs.
        original, theirs, started = random.randint, [], []

        def randint(a, b):
            if not started:
                started.append(True)

                def build():
                    theirs.append(A("C"))
                    try:
                        A.from_smiles("CCX")  # a failing reading of its own, nested in time
                    except SmilesError:
                        pass
                thread = threading.Thread(target=build)
                thread.start()
                thread.join()
            return original(a, b)

        monkeypatch.setattr(random, "randint", randint)
        with pytest.raises(SmilesError):
            A.from_smiles("CCCX")
        monkeypatch.setattr(random, "randint", original)
        assert set(A.get_all_atoms()) == {theirs[0], *(A.get_atom(i) for i in theirs[0].bonds)}
        with pytest.raises(SmilesError):
            A.from_smiles("CX")  # the logs of both readings are closed
        assert len(A.get_all_atoms()) == 5 and formula(A("C")) == "CH4"
        assert free_and_used_ids() == ALL_IDS


class TestNestedAtomsLeaveRoomForTheirCaller:
    @pytest.mark.parametrize("text, expected", [
        ("O=S(C)C", "C2H6OS"), ("O=S(=O)(C)C", "C2H6O2S"), ("O=P(C)(C)C", "C3H9OP"),
        ("CCOP(=O)OCC", "C4H11O3P"), ("CS(=O)(=O)C", "C2H6O2S"),
    ])
    def test_hypervalent_atoms(self, text, expected):
        assert formula(A.from_smiles(text)) == expected

    def test_sulfone_radical_keeps_its_written_hydrogens(self):
        c = A.from_smiles("C[S](=O)=O")
        s = A.id_map[heavy(c)[0]]
        assert (hydrogens(s), s.lone_electron, len(s.bonds)) == (0, 1, 5)

    def test_ids_of_a_plain_reading_follow_the_constructor(self):
        random.seed(11)
        pool = list(range(1000, 10000))

        def draw():
            return pool.pop(random.randint(0, len(pool) - 1))

        o, oh1, oh2 = draw(), draw(), draw()
        c2 = draw()
        pool.append(oh1)
        c2h = [draw(), draw(), draw()]
        c1 = draw()
        pool.append(c2h[0])
        c1h = [draw(), draw(), draw()]

        A.id_map.clear()
        A._Atom__id_pool[:] = range(1000, 10000)
        random.seed(11)
        first = A.from_smiles("CCO")
        assert first.id == c1 and first.bonds == [c2] + c1h
        assert A.id_map[c2].bonds == [o, c1] + c2h[1:]
        assert A.id_map[o].bonds == [c2, oh2]
        assert A._Atom__id_pool == pool


class TestSizeAndDepth:
    @staticmethod
    def in_small_thread(fn):
        result = []
        old = threading.stack_size(256 * 1024)
        try:
            t = threading.Thread(target=lambda: result.append(fn()))
            t.start()
            t.join()
        finally:
            threading.stack_size(old)
        return result[0]

    @pytest.mark.parametrize("text, expected", [
        ("C" * 2999, "C2999H6000"),
        ("C" + "=C" * 2000, "C2001H4"),
        ("C(" * 400 + "C" + ")" * 400, "C401H804"),
        ("C1" + "CC1C1" * 800 + "C1", "C2402H3204"),
        ("C" + "".join(f"C%{i}" for i in range(100, 1100)) * 2, "C2001H2004"),
    ])
    def test_large_inputs_in_a_small_stack(self, text, expected):
        assert self.in_small_thread(lambda: formula(A.from_smiles(text))) == expected

    def test_beyond_the_registry_fails_with_the_pool_error(self):
        error = self.in_small_thread(lambda: read_error("C" * 3000))
        assert isinstance(error.__cause__, Atom.IdError)
        assert len(A.id_map) == 0 and free_and_used_ids() == ALL_IDS


class TestNestedCalls:
    def test_a_nested_reading_returns_the_atom_and_its_bond_order(self):
        atom, order = A.from_smiles("=O", False, ["=O", {}])
        assert (atom.element, order, hydrogens(atom)) == ("O", 2, 2)

    def test_a_nested_reading_without_shared_state_reports_through_the_quote(self):
        with pytest.raises(TypeError):
            A.from_smiles("C1", False)
        assert len(A.id_map) == 0


def reference_formula(text):
    try:
        from rdkit import Chem
        from rdkit.Chem.rdMolDescriptors import CalcMolFormula
    except ImportError:
        pytest.skip("rdkit cannot be imported here, so the corpus formulas have no reference")
    return re.sub(r"[+-]\d*$", "", CalcMolFormula(Chem.MolFromSmiles(text)))


@pytest.mark.parametrize("name", sorted(CORPUS))
def test_corpus_formulas_match_an_independent_toolkit(name):
    text = CORPUS[name]
    assert formula(A.from_smiles(text)) == reference_formula(text)


class TestUnusualArguments:
    def test_a_ring_label_longer_than_int_reads_fails_as_int_does(self):
        error = read_error("C%" + "1" * 5000 + "CC%1")
        assert isinstance(error.__cause__, ValueError)
        assert len(A.id_map) == 0

    def test_a_top_whose_truth_fails_is_wrapped(self):
        class Undecided:
            def __bool__(self):
                raise ZeroDivisionError

        with pytest.raises(SmilesError) as info:
            A.from_smiles("C", Undecided(), ["quoted", {}])
        assert str(info.value).startswith('[Smiles "quoted"] Failed to convert from SMILES.')
        assert isinstance(info.value.__cause__, ZeroDivisionError)
        with pytest.raises(TypeError):  # no shared state to quote from
            A.from_smiles("C", Undecided())
