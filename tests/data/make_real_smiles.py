"""Writes tests/data/real_smiles.tsv: real SMILES as toolkits and people write
them, each with the formula and masses RDKit gives. Run once by hand; the
output is committed, so the tests need no RDKit.

Sources: molecules written by hand (drugs, natural products, heterocycles,
salts and hydrates, with stereo marks, [H] atoms and atom maps), and the NCI
sample that RDKit ships (rdkit/Data/NCI/first_5K.smi), written out by RDKit's
default writer (aromatic lower case, [nH], stereo where there is any)."""
import pathlib

from rdkit import Chem, RDConfig, RDLogger
from rdkit.Chem import Descriptors
from rdkit.Chem.rdMolDescriptors import CalcMolFormula

HERE = pathlib.Path(__file__).resolve().parent
ELEMENTS = {"C", "N", "O", "S", "P", "F", "Cl", "Br", "I", "H"}
FROM_NCI = 260

BY_HAND = """
N[C@@H](C)C(=O)O	L-alanine
CC(C)Cc1ccc(cc1)[C@@H](C)C(=O)O	(S)-ibuprofen
c1ccc(cc1)/C=C/c1ccccc1	(E)-stilbene
OC(=O)/C=C/C(=O)O	fumaric acid
OC(=O)/C=C\\C(=O)O	maleic acid
OC[C@H]1OC(O)[C@H](O)[C@@H](O)[C@@H]1O	glucose
CN1CCC[C@H]1c1cccnc1	nicotine
CN1CC[C@]23c4c5ccc(O)c4O[C@H]2[C@@H](O)C=C[C@H]3[C@H]1C5	morphine
CC(C)CCC[C@@H](C)[C@H]1CC[C@H]2[C@@H]3CC=C4C[C@@H](O)CC[C@]4(C)[C@H]3CC[C@]12C	cholesterol
CC1(C)S[C@@H]2[C@H](NC(=O)Cc3ccccc3)C(=O)N2[C@H]1C(=O)O	penicillin G
CC1=C(C(C)(C)CCC1)/C=C/C(C)=C/C=C/C(C)=C/CO	retinol
CNC[C@H](O)c1ccc(O)c(O)c1	adrenaline
NCCc1c[nH]c2ccc(O)cc12	serotonin
NCCc1c[nH]cn1	histamine
CN(C)C(=N)N=C(N)N.Cl	metformin hydrochloride
CCCc1nn(C)c2c1nc([nH]c2=O)-c1cc(ccc1OCC)S(=O)(=O)N1CCN(C)CC1	sildenafil
COc1ccc2[nH]c(nc2c1)S(=O)Cc1ncc(C)c(OC)c1C	omeprazole
CN1C(=O)CN=C(c2ccccc2)c2cc(Cl)ccc12	diazepam
OC(=O)c1cn(C2CC2)c2cc(N3CCNCC3)c(F)cc2c1=O	ciprofloxacin
CCN(CC)CCCC(C)Nc1ccnc2cc(Cl)ccc12	chloroquine
[H]C(=O)O	formic acid with an explicit hydrogen
[H][C@@](C)(N)C(=O)O	alanine with an explicit hydrogen
[CH3:1][OH:2]	methanol with atom maps
COc1ccc2nccc([C@@H](O)[C@@H]3C[C@@H]4CCN3C[C@@H]4C=C)c2c1	quinine
C[C@]12CC[C@H]3[C@@H](CCC4=CC(=O)CC[C@@]34C)[C@@H]1CC[C@@H]2O	testosterone
Cc1ncc(C[n+]2csc(CCO)c2C)c(N)n1	thiamine
Cc1ncc(CO)c(CO)c1O	pyridoxine
Cc1cc2nc3c(=O)[nH]c(=O)nc-3n(C[C@H](O)[C@H](O)[C@H](O)CO)c2cc1C	riboflavin
Nc1ncnc2[nH]cnc12	adenine
Nc1nc2[nH]cnc2c(=O)[nH]1	guanine
O=c1cc[nH]c(=O)[nH]1	uracil
Cc1c[nH]c(=O)[nH]c1=O	thymine
Nc1cc[nH]c(=O)n1	cytosine
c1ccc2[nH]ccc2c1	indole
c1ccc2ncccc2c1	quinoline
c1ccc2cnccc2c1	isoquinoline
c1cscn1	thiazole
c1cocn1	oxazole
c1cc[nH]n1	pyrazole
c1nc[nH]n1	1,2,4-triazole
c1nnn[nH]1	tetrazole
c1cncnc1	pyrimidine
c1cnccn1	pyrazine
c1ccc2occc2c1	benzofuran
c1ccc2sccc2c1	benzothiophene
c1ccc2c(c1)[nH]c1ccccc12	carbazole
c1ccc2nc3ccccc3cc2c1	acridine
c1ccc2c(c1)Nc1ccccc1S2	phenothiazine
c1ccc2cccc2cc1	azulene
[NH4+].[Cl-]	ammonium chloride
c1cc[nH+]cc1.[Cl-]	pyridinium chloride
C[N+](C)(C)C.[I-]	tetramethylammonium iodide
CC(=O)O.O	acetic acid hydrate
O=C(O)C(F)(F)F.CN1CCCC1	a trifluoroacetate salt
CCN(CC)CC.Br	triethylamine hydrobromide
[O-][n+]1ccccc1	pyridine N-oxide
O=[N+]([O-])c1ccc(cc1)/N=N/c1ccccc1	an azo dye
C1=CC=CC=C1-C(=O)O	benzoic acid with an explicit single bond
c1ccc(cc1)-c1ccccc1	biphenyl
c1ccc2c(c1)-c1ccccc1-2	biphenylene
c1cc2ccc3cccc4ccc(c1)c2c34	pyrene
c1cc2ccc3ccc4ccc5ccc6ccc1c1c2c3c4c5c61	coronene
O=C1c2ccccc2C(=O)c2ccccc12	anthraquinone
CC(=O)Nc1ccc(O)cc1	paracetamol
CC(=O)Oc1ccccc1C(=O)O	aspirin
Cn1cnc2c1c(=O)n(C)c(=O)n2C	caffeine
Cn1c(=O)c2[nH]cnc2n(C)c1=O	theophylline
CC(C)NCC(O)COc1cccc2ccccc12	propranolol
CN(C)CCCN1c2ccccc2CCc2ccccc21	imipramine
Clc1ccc(cc1)C(c1ccccc1)N1CCN(CC1)CCOCC(=O)O	cetirizine
FC(F)(F)c1ccc(OC(CCNC)c2ccccc2)cc1	fluoxetine
OC(=O)CCc1c[nH]c2ccccc12	indole-3-propionic acid
CSc1ccc2Sc3ccccc3N(CCC3CCCCN3C)c2c1	thioridazine
COP(=S)(OC)Oc1ccc([N+](=O)[O-])cc1	methyl parathion
OP(=O)(O)OC[C@H]1O[C@@H](n2cnc3c(N)ncnc32)[C@H](O)[C@@H]1O	adenosine monophosphate
NS(=O)(=O)c1cc2c(cc1Cl)NCNS2(=O)=O	hydrochlorothiazide
Brc1ccc(cc1)C(=O)C[n+]1ccccc1.[Br-]	a pyridinium bromide
Ic1ccccc1I	1,2-diiodobenzene
C1CCc2ccccc2C1	tetralin
c1ccc2c(c1)ccc1ccccc12	phenanthrene
c1ccc2cc3ccccc3cc2c1	anthracene
[cH-]1cccc1	cyclopentadienide
[cH+]1cccccc1	tropylium
c1cc[o+]cc1	pyrylium
O=c1cccc[nH]1	2-pyridone
O=c1cc[nH]cc1	4-pyridone
"""


def row(smiles, name):
    mol = Chem.MolFromSmiles(smiles)
    return "\t".join([smiles, CalcMolFormula(mol), f"{Descriptors.MolWt(mol):.4f}", f"{Descriptors.ExactMolWt(mol):.5f}", name])


def usable(mol):
    return mol is not None and all(a.GetSymbol() in ELEMENTS and not a.GetIsotope() and not a.GetNumRadicalElectrons()
                                   for a in mol.GetAtoms())


def from_nci():
    path = pathlib.Path(RDConfig.RDDataDir) / "NCI" / "first_5K.smi"
    picked, salts = [], []
    for line in path.read_text().splitlines():
        text, number = line.split("\t")
        mol = Chem.MolFromSmiles(text)
        if usable(mol):
            (salts if "." in text else picked).append((Chem.MolToSmiles(mol), f"NCI {number}"))
    step = len(picked) // (FROM_NCI - 40)
    return picked[::step][: FROM_NCI - 40] + salts[:40]


def main():
    RDLogger.DisableLog("rdApp.*")
    rows = [row(*line.split("\t")) for line in BY_HAND.strip().splitlines()]
    rows += [row(smiles, name) for smiles, name in from_nci()]
    header = "# SMILES\tRDKit formula\tMolWt\tExactMolWt\tname\n"
    (HERE / "real_smiles.tsv").write_text(header + "\n".join(rows) + "\n")
    print(len(rows), "records")


if __name__ == "__main__":
    main()
