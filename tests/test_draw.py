"""Pictures of structures: the SVG and the layout behind it obey the drawing
rules on the gallery and on 200 molecules of the corpora; the command line,
PNG output and the missing-extra error."""
import importlib.util
import math
import pathlib
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

import pytest

import Atom
import brantor
from brantor import _native
from brantor.draw import scene_of
from brantor.draw_cli import main as draw_main
from brantor.draw_gallery import GALLERY
from brantor.draw_structure import delete_structure
from data.corpus import CORPUS

ROOT = pathlib.Path(__file__).resolve().parent.parent
needs_rdkit = pytest.mark.skipif(importlib.util.find_spec("rdkit") is None,
                                 reason="RDKit is not installed: pip install 'brantor[draw]'")
SVG = "{http://www.w3.org/2000/svg}"


def corpus_200():
    """The test corpus, then the first records of the benchmark's file up to 200."""
    lines = (ROOT / "bench" / "data" / "nci_kekule.smi").read_text().split("\n")
    return list(CORPUS.values()) + [line.split()[0] for line in lines if line][:200 - len(CORPUS)]


def crosses(a, b, box):
    """Whether segment a-b passes through the box (left, bottom, right, top)."""
    t0, t1 = 0.0, 1.0
    dx, dy = b[0] - a[0], b[1] - a[1]
    for p, q in ((-dx, a[0] - box[0]), (dx, box[2] - a[0]), (-dy, a[1] - box[1]), (dy, box[3] - a[1])):
        if p == 0 and q < 0:
            return False
        if p:
            t0, t1 = (max(t0, q / p), t1) if p < 0 else (t0, min(t1, q / p))
    return t0 < t1


def layout_faults(scene):
    """Every broken drawing rule of a laid-out picture, as readable strings."""
    xy, s, faults = scene.xy, scene.s, []
    lengths = sorted(math.dist(xy[i], xy[j]) for i, j, _, _ in scene.lines)
    if lengths and not 0.9 <= lengths[0] / lengths[len(lengths) // 2] <= lengths[-1] / lengths[len(lengths) // 2] <= 1.1:
        faults.append(f"bond lengths {lengths[0]:.2f}..{lengths[-1]:.2f}")
    points = list(xy.items())
    faults += [f"atoms {i} and {j} closer than half a bond" for n, (i, p) in enumerate(points)
               for j, q in points[:n] if math.dist(p, q) < 0.5]
    labels = list(scene.labels.items())
    for n, (i, label) in enumerate(labels):
        faults += [f"labels {i} and {j} overlap" for j, other in labels[:n]
                   if label.box[0] < other.box[2] and other.box[0] < label.box[2]
                   and label.box[1] < other.box[3] and other.box[1] < label.box[3]]
        faults += [f"label {i} crosses bond {a}-{b}" for a, b, _, lines in scene.lines if i not in (a, b)
                   for start, end in lines if crosses(start, end, label.box)]
    for i, dots in scene.dots.items():
        if len(dots) != s.lone_electrons[i]:
            faults.append(f"atom {i}: {len(dots)} dots for {s.lone_electrons[i]} lone electrons")
        for dot in dots:
            for j in s.neighbours[i]:
                if j in xy:
                    turn = math.atan2(dot[1] - xy[i][1], dot[0] - xy[i][0]) - math.atan2(xy[j][1] - xy[i][1],
                                                                                      xy[j][0] - xy[i][0])
                    if abs((turn + math.pi) % (2 * math.pi) - math.pi) < math.radians(20):
                        faults.append(f"a dot of atom {i} lies along its bond to {j}")
    return faults


def svg_faults(svg, atom, hydrogens):
    """What the SVG text gets wrong: labels per atom, lines per bond, dots."""
    root = ET.fromstring(svg)
    faults = [] if root.get("viewBox") else ["no viewBox"]
    texts = {g.get("data-atom"): len(g.findall(f"{SVG}text")) for g in root.iter(f"{SVG}g") if g.get("class") == "atom"}
    dots = {g.get("data-atom"): len(g.findall(f"{SVG}circle")) for g in root.iter(f"{SVG}g") if g.get("class") == "atom"}
    for id_ in map(str, scene_ids(atom)):
        a = Atom.Atom.get_atom(int(id_))
        folded = not hydrogens and a.element == "H" and any(Atom.Atom.get_atom(j).element != "H" for j in a.bonds)
        wanted = {0} if folded else {1} if hydrogens or a.element != "C" else {0, 1}
        if texts.get(id_, 0) not in wanted:
            faults.append(f"atom {id_} ({a.element}) has {texts.get(id_, 0)} labels")
        if not folded and dots.get(id_, 0) != a.lone_electron:
            faults.append(f"atom {id_} has {dots.get(id_, 0)} dots for {a.lone_electron} lone electrons")
    for g in root.iter(f"{SVG}g"):
        if g.get("class") == "bond" and len(g.findall(f"{SVG}line")) != int(g.get("data-order")):
            faults.append(f"bond {g.get('data-atoms')} of order {g.get('data-order')} drawn with "
                          f"{len(g.findall(f'{SVG}line'))} lines")
    return faults


def scene_ids(atom):
    return scene_of(atom, True, False).s.ids


@pytest.fixture
def built():
    made = []

    def build(smiles):
        made.append(Atom.Atom.from_smiles(smiles))
        return made[-1]
    yield build
    for atom in made:
        delete_structure(atom)


@needs_rdkit
@pytest.mark.parametrize("hydrogens", [True, False], ids=["teaching", "skeletal"])
@pytest.mark.parametrize("name", GALLERY)
def test_gallery_obeys_the_drawing_rules(name, hydrogens, built):
    atom = built(GALLERY[name])
    assert layout_faults(scene_of(atom, hydrogens, True)) == []
    assert svg_faults(brantor.draw_svg(atom, hydrogens=hydrogens), atom, hydrogens) == []


@needs_rdkit
@pytest.mark.parametrize("hydrogens", [True, False], ids=["teaching", "skeletal"])
def test_tiny_structures_draw_from_any_atom(hydrogens):
    # H2 has no heavy atom to lay out first (CoordGen gives it no coordinates).
    for start in (Atom.Atom("H"), Atom.Atom.get_atom(Atom.Atom("C").bonds[0]), Atom.Atom.from_smiles("[Cl-]")):
        assert svg_faults(brantor.draw_svg(start, hydrogens=hydrogens), start, hydrogens) == []
        assert layout_faults(scene_of(start, hydrogens, True)) == []


@needs_rdkit
def test_200_molecules_obey_the_drawing_rules():
    # Adamantane with every hydrogen: no layout tried (CoordGen's, RDKit's with
    # and without hydrogens), relaxed or not, keeps all its hydrogens half a
    # bond apart and every label clear of the bonds around it.
    known = {("C1C2CC3CC1CC(C2)C3", True)}
    smiles = corpus_200()
    assert len(smiles) == 200
    faults = {}
    for text in smiles:
        atom = Atom.Atom.from_smiles(text)
        for hydrogens in (True, False):
            faults[text, hydrogens] = layout_faults(scene_of(atom, hydrogens, True))
        delete_structure(atom)
    assert {key: found for key, found in faults.items() if found and key not in known} == {}


@needs_rdkit
def test_a_fresh_interpreter_draws_as_a_used_one():
    # A crowded drug: its hydrogens are laid out by the depictor's sampled turns,
    # whose generator must not carry state from one call to the next.
    script = ("import Atom, brantor\n"
              "a = Atom.Atom.from_smiles('CCCCC1=NC(Cl)=C(CO)N1CC1=CC=C(C=C1)C1=CC=CC=C1C1=NN=NN1')\n"
              "first, second = brantor.draw_svg(a), brantor.draw_svg(a)\n"
              "print(first == second)")
    result = subprocess.run([sys.executable, "-P", "-c", script], capture_output=True, text=True, timeout=120)
    assert result.stdout.strip() == "True", result.stderr


@needs_rdkit
def test_options_leave_out_dots_and_fit_the_size(built):
    atom = built("[O-]C(=O)C")
    root = ET.fromstring(brantor.draw_svg(atom, lone_electrons=False, size=(300, 100)))
    assert not list(root.iter(f"{SVG}circle"))
    assert float(root.get("height")) <= 100 and float(root.get("width")) <= 300
    assert max(float(root.get("height")), float(root.get("width"))) == pytest.approx(300) or \
        float(root.get("height")) == pytest.approx(100)


@needs_rdkit
def test_show_draws_for_notebooks_with_a_short_repr(built):
    picture = brantor.show(built("CCO"))
    assert repr(picture) == "<brantor picture of C2H6O, 9 atoms>"
    assert picture._repr_svg_().startswith("<svg")


@needs_rdkit
@pytest.mark.parametrize("call, error", [
    (lambda a: brantor.draw_svg("CCO"), TypeError),
    (lambda a: brantor.draw_svg(True), TypeError),
    (lambda a: brantor.draw_svg(999), Atom.AtomError),
    (lambda a: brantor.draw_svg(a, hydrogens=None), TypeError),
    (lambda a: brantor.draw_svg(a, size=(1, 2, 3)), TypeError),
    (lambda a: brantor.draw_svg(a, size=-5), ValueError),
    (lambda a: brantor.draw_svg(a, size=float("nan")), ValueError),
])
def test_strange_arguments_raise_ordinary_errors(call, error, built):
    with pytest.raises(error):
        call(built("C"))


class EmptiesItsList:
    """A coordinate whose conversion empties the list that holds its point."""

    def __init__(self, points):
        self.points = points

    def __float__(self):
        self.points.clear()
        return 0.0


@pytest.mark.parametrize("call, error", [
    (lambda: _native.crowded([(0.0, 0.0)], [(0, 1)]), ValueError),
    (lambda: _native.crowded([(0.0, float("nan"))], []), ValueError),
    (lambda: _native.crowded([(0.0, 1e300)], []), ValueError),
    (lambda: _native.crowded([(0.0,)], []), ValueError),
    (lambda: _native.crowded("ab", []), TypeError),
    (lambda: _native.crowded([(0.0, 0.0)], [(0, 0.5)]), TypeError),
    (lambda: _native.place_hydrogens([[5]], [0], [(0.0, 0.0)], []), ValueError),
    (lambda: _native.place_hydrogens([[]], [0, 0], [(0.0, 0.0)], []), ValueError),
    (lambda: _native.relax([(0.0, 0.0)], [], [], True, True), ValueError),
    (lambda: _native.relax([(0.0, 0.0), (1.0, 0.0)], [(0, -1)], [True, False], True, True), ValueError),
    (lambda: _native.free_directions([0.0], -1), ValueError),
])
def test_the_geometry_extension_refuses_bad_arguments(call, error):
    with pytest.raises(error):
        call()


def test_the_relaxation_moves_atoms_laid_on_one_spot_without_losing_them():
    # RDKit's depictor sets some atoms of highly branched chains on one spot.
    moved = _native.relax([(0.0, 0.0), (0.0, 0.0), (1.0, 0.0)], [(2, 0), (2, 1)], [True, False, False], True, True)
    assert all(math.isfinite(c) for point in moved for c in point)


def test_the_geometry_extension_reads_a_copy_of_lists_code_changes():
    points = [(0.0, 0.0), (1.0, 0.0)]
    points.insert(0, (EmptiesItsList(points), 0.0))
    assert _native.crowded(points, [(1, 2)]) is True  # atoms 0 and 1 coincide
    assert points == []


def test_without_rdkit_the_error_names_the_extra(monkeypatch, built):
    monkeypatch.setitem(sys.modules, "rdkit", None)
    with pytest.raises(ImportError, match=r"brantor\[draw\]"):
        brantor.draw_svg(built("CC"))


def renderer_missing():
    if importlib.util.find_spec("cairosvg") is None and shutil.which("rsvg-convert") is None:
        return "no SVG renderer: pip install 'brantor[png]' or install rsvg-convert"
    try:
        import cairosvg  # noqa: F401 -- it loads the cairo library on import
    except OSError:
        return None if shutil.which("rsvg-convert") else "cairosvg cannot load the cairo library"
    except ImportError:
        pass
    return None


@needs_rdkit
def test_gallery_renders_to_png(built):
    if renderer_missing():
        pytest.skip(renderer_missing())
    from brantor.draw_files import svg_to_png
    for smiles in GALLERY.values():
        for hydrogens in (True, False):
            assert svg_to_png(brantor.draw_svg(built(smiles), hydrogens=hydrogens)).startswith(b"\x89PNG")


@needs_rdkit
def test_command_line_writes_one_picture_per_record(tmp_path, capsys):
    source = tmp_path / "in.smi"
    source.write_text("CCO ethanol\n# a comment\n\nNOT-SMILES\n[NH4+]\n")
    assert draw_main([str(source), "-o", str(tmp_path / "pic.svg"), "--skeletal"]) == 1
    assert sorted(p.name for p in tmp_path.glob("pic-*")) == ["pic-1.svg", "pic-3.svg"]
    assert "in.smi:4: NOT-SMILES" in capsys.readouterr().err
    assert draw_main(["C=O", "-o", str(tmp_path / "one.svg"), "--no-lone-electrons"]) == 0
    assert "<circle" not in (tmp_path / "one.svg").read_text()
    assert draw_main(["C=O"]) == 2
    assert Atom.Atom.id_map == {}
