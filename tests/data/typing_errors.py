"""Wrong calls a type checker must report: each line marked `# error: CODE`
is expected to draw exactly that mypy error code, and no other line any."""
import Atom
from Atom import Atom as A

carbon = A("C")
Atom.from_smiles(123)  # error: call-overload
A("C", charge="1")  # error: call-overload
carbon.set_charge("2")  # error: arg-type
carbon.bond_with(carbon, use=5)  # error: arg-type
carbon.bond_with(carbon, use="all")  # error: arg-type
Atom.bond(carbon, carbon, use="all")  # error: arg-type
smiles: int = Atom.get_smiles(carbon)  # error: assignment
pair: A = A.from_smiles("CC", False)  # error: assignment
A("C", (carbon,))  # error: call-overload
Atom.IdError("m", 1000)  # error: call-arg
Atom.AtomError("m", None)  # error: arg-type
Atom.IdError("m").atom  # error: attr-defined
A.id_map["1000"]  # error: index
carbon.colour = "red"  # error: attr-defined
