"""Random calls over the whole API, valid and invalid, written as Python statements.

Each operation is the text that runs (so a failing sequence is its own reproducer),
with what the checks need to know: the known fault family it falls in, an extra
expectation on its error, and which bonds it leaves one-sided on purpose.
"""
import Atom
import smiles

A = Atom.Atom
ELEMENTS = list(A._Atom__element_info)
BAD_ATOMS = ["999", "10000", "-1", "'Cl'", "True", "None", "1.5", "[]"]
USES = ["'hydro'", "'hydro'", "'lone_electron'", "'both'", "'all'", "None", "5"]
FLAGS = ["True", "False", "True", "False", "0", "1", "None", "'x'"]


class Op:
    def __init__(self, code, kind, known=None, expect=None, strict=False, one_sided=(), deleting=None,
                 breaking=None):
        self.code = code
        self.kind = kind
        self.known = known              # label of a known fault family, or None
        self.expect = expect            # (error class, message or None) that a raise must match:
        self.strict = strict            # any raise when strict, else one not of the module's classes
        self.one_sided = one_sided      # (atom, atom) texts this call may bond on one side only;
                                        # None stands for the atom it appends to `atoms`
        self.deleting = deleting        # text of the atom this call unregisters on purpose
        self.breaking = breaking        # (atom, partner) texts of a break asking both sides


# A hydrogen that a second atom lists through a one-sided bond or break made on purpose
# is given up by that atom like any hydrogen of its own (by its hydrogen step, a setter
# or a carbene conversion), leaving the hydrogen's owner with an entry naming a deleted
# atom. That is the caller's one-sided request carried through, which the
# checks cannot tell from a fault: --skip-known leaves the family out.
ONE_SIDED_HYDROGEN = "one-sided bond to a hydrogen"


def one_sided_hydrogen(partners):
    if any(a is not None and a.id in A.id_map and a.element == "H" for a in partners):
        return ONE_SIDED_HYDROGEN
    return None


# Deleting an atom leaves its id in its neighbours' lists, and the id returns to the pool:
# once a new atom draws it, those stale entries name the new atom, whose hydrogens a
# neighbour's hydrogen step or setter may then give up. Guarding against such reuse is
# left to the caller (who breaks bonds before deleting); the family is left out with the
# one-sided one.
STALE_ENTRY = "an entry left by a deletion"


def registered_atom(entry):
    atom = A.id_map.get(entry) if type(entry) is int else None
    return atom if type(atom) is A else None


def truthy(flag):
    return flag not in ("False", "0", "None")


class Generator:
    def __init__(self, chooser, atoms):
        self.c = chooser
        self.atoms = atoms              # every atom the sequence created or deleted, in order
        self.deleted = set()            # ids of atoms deleted on purpose

    # --- naming atoms ---------------------------------------------------------------

    def registered(self):
        everyone = [a for a in A.id_map.values() if type(a) is A]  # the hostile mode plants other objects
        if everyone and self.c.chance(0.5):
            heavy = [a for a in everyone if a.element != "H"]
            return heavy or everyone
        return everyone

    def atom(self, as_object=False):
        """(text, atom or None): a registered atom mostly, else a held or an invalid one."""
        c = self.c
        everyone = self.registered()
        if everyone and c.chance(0.8):
            a = c.pick(everyone)
            return (f"A.get_atom({a.id})" if as_object or c.chance(0.3) else str(a.id)), a
        if self.atoms and c.chance(0.6):
            k = c.int(0, len(self.atoms) - 1)
            held = self.atoms[k]
            return f"atoms[{k}]", held if type(held) is A else None
        return c.pick(BAD_ATOMS), None

    def neighbour(self, me):
        """A partner for `me`: often one of its own entries or their first hydrogen."""
        c = self.c
        entries = [e for e in me.bonds if type(e) is int] if me is not None and type(me.bonds) is list else []
        if entries and c.chance(0.4):
            e = c.pick(entries)
            other = registered_atom(e)
            if other is not None and type(other.bonds) is list and other.bonds and c.chance(0.4):
                e = c.pick(other.bonds)
            return str(e), registered_atom(e)
        return self.atom()

    # --- the operations ----------------------------------------------------------------

    def next(self):
        kinds = [self.construct] * 4 + [self.bond_with] * 5 + [self.bond] * 2 + [self.break_bond] * 3 + \
                [self.setter] * 4 + [self.delete] + [self.walk] * 2 + [self.read] + [self.lookup] * 2 + [self.private]
        if self.c.chance(0.04):
            return self.c.pick([self.bad_pool, self.no_print])()
        return self.c.pick(kinds)()

    def stale(self, *atoms):
        """The stale-entry family when any of the atoms lists the id of a deleted atom."""
        for a in atoms:
            if a is not None and type(a.bonds) is list and any(e in self.deleted for e in a.bonds):
                return STALE_ENTRY
        return None

    def construct(self):
        c = self.c
        element = repr(c.pick(ELEMENTS + ["Xe", "h", ""])) if c.chance(0.95) else "5"
        charge = str(c.int(-2, 2)) if c.chance(0.9) else c.pick(["'1'", "True", "None"])
        lone = c.pick(["None", "None", "None", str(c.int(0, 6)), "-1", "'2'"])
        bond_ = c.pick(FLAGS)
        auto = c.pick(FLAGS)
        named = [self.neighbour(None) for _ in range(c.pick([0, 0, 1, 1, 2, 3]))]
        if named and c.chance(0.3):
            named.append(c.pick(named))
        listed = [a for _, a in named]
        bonds = "[" + ", ".join(t for t, _ in named) + "]" if c.chance(0.95) else c.pick(["None", "'CC'", "(1000,)"])
        if c.chance(0.5):
            call = f"A({element}, {bonds}, {charge}, {lone}, {bond_}, {auto})"
        else:
            call = f"A(element={element}, bonds={bonds}, charge={charge}, lone_electron={lone}, bond_={bond_})"
        one_sided = [] if truthy(bond_) else [(None, t) for t, _ in named]
        known = (None if truthy(bond_) else one_sided_hydrogen(listed)) or self.stale(*listed)
        return Op(f"atoms.append({call})", "construct", known, one_sided=one_sided)

    def bond_with(self):
        c = self.c
        me_text, me = self.atom(as_object=True)
        partner_text, partner = (me_text, me) if c.chance(0.1) else self.neighbour(me)
        back, use, carbene = c.pick(FLAGS), c.pick(USES), c.pick(["False", "False", "True"])
        known = (None if truthy(back) else one_sided_hydrogen([partner])) or self.stale(me, partner)
        code = f"{me_text}.bond_with({partner_text}, bond_back={back}, use={use}, allow_carbene={carbene})"
        one_sided = [] if truthy(back) else [(me_text, partner_text)]
        return Op(code, "bond_with", known, one_sided=one_sided)

    def bond(self):
        c = self.c
        first_text, first = self.atom()
        second_text, second = self.neighbour(first)
        use, carbene = c.pick(USES), c.pick(["False", "False", "True"])
        where = c.pick(["A", "Atom"])
        return Op(f"{where}.bond({first_text}, {second_text}, use={use}, allow_carbene={carbene})", "bond",
                  self.stale(first, second))

    def break_bond(self):
        c = self.c
        me_text, me = self.atom(as_object=True)
        partner_text, partner = self.neighbour(me)
        if c.chance(0.3):
            return Op(f"A.break_bond({me_text}, {partner_text})", "break_bond", breaking=(me_text, partner_text))
        back = c.pick(FLAGS)
        one_sided = [] if truthy(back) else [(me_text, partner_text)]
        # A one-sided break leaves the partner listing this atom.
        known = (None if truthy(back) else one_sided_hydrogen([me])) or self.stale(me, partner)
        return Op(f"{me_text}.break_bond_with({partner_text}, break_bond_back={back})", "break_bond_with", known,
                  one_sided=one_sided, breaking=(me_text, partner_text) if truthy(back) else None)

    def setter(self):
        c = self.c
        me_text, me = self.atom(as_object=True)
        known = self.stale(me)
        kind = c.int(0, 2)
        if kind == 0:
            value = str(c.int(-3, 3)) if c.chance(0.9) else c.pick(["True", "None", "'1'"])
            return Op(f"{me_text}.set_charge({value})", "set_charge", known)
        if kind == 1:
            value = repr(c.pick(ELEMENTS + ["Xe"])) if c.chance(0.95) else "None"
            return Op(f"{me_text}.set_element({value})", "set_element", known)
        value = str(c.int(-1, 6)) if c.chance(0.9) else c.pick(["True", "None", "'1'"])
        return Op(f"{me_text}.set_lone_electron({value}, {c.pick(FLAGS)})", "set_lone_electron", known)

    def delete(self):
        text, atom = self.atom(as_object=True)
        if atom is None or atom.id not in A.id_map:
            return Op(f"A.delete_atom({text})", "delete_atom")
        self.deleted.add(atom.id)
        code = f"gone = A.get_atom({atom.id}); atoms.append(gone); gone.delete()"
        return Op(code, "delete", deleting=f"A.get_atom({atom.id})")

    def walk(self):
        c = self.c
        text, _ = self.atom()
        kind = c.int(0, 5)
        if kind <= 1:
            return Op(f"Atom.{c.pick(['get_formula', 'get_smiles'])}({text})", "walk")
        obj_text, _ = self.atom(as_object=True)
        if kind <= 3:
            return Op(f"{c.pick(['str', 'repr'])}({obj_text})", "display")
        args = c.pick(["", "True", "False", "True, None", "False, []", "False, [1, 2]", "True, 'x'"])
        return Op(f"{obj_text}.{c.pick(['to_formula', 'to_smiles'])}({args})", "walk")

    def read(self):
        c = self.c
        text = c.pick(smiles.SEEDS) if c.chance(0.3) else smiles.grammar(c, 8)
        if c.chance(0.3):
            text = smiles.mutate(c, text)
        return Op(f"atoms.append(A.from_smiles({text!r}))", "from_smiles", expect=(Atom.SmilesError, None), strict=True)

    def lookup(self):
        c = self.c
        text, _ = self.atom()
        obj_text, _ = self.atom(as_object=True)
        call = c.pick([f"A.get_atom({text})", f"A.get_atom_id({text})", "A.get_all_atoms()", "A.reset_tags()",
                       f"{obj_text}.survive()", f"{obj_text}.get_bonds()", f"{obj_text}.get_charge()",
                       f"{obj_text}.get_element()", f"{obj_text}.get_id()", f"{obj_text}.get_lone_electron()"])
        return Op(call, "lookup")

    def private(self):
        c = self.c
        kind = c.int(0, 2)
        if kind == 0:
            return Op("A._Atom__id_pool.append(A._Atom__generate_id())", "generate_id")
        entries = "[" + ", ".join(self.neighbour(None)[0] for _ in range(c.int(0, 4))) + "]"
        if kind == 1:
            return Op(f"A._Atom__remove_hydro({entries})", "remove_hydro")
        element = repr(c.pick(ELEMENTS + ["Xe"]))
        args = f"{element}, {c.int(-2, 2)}, {c.int(-1, 6)}, {entries}, {c.int(0, 9999)}, {c.pick(FLAGS)}"
        return Op(f"A._Atom__bond_num({args})", "bond_num")

    def bad_pool(self):
        entry = self.c.pick(["'1234'", "1.5"])  # None passes the id check, as a getter's None does
        code = ("saved = A._Atom__id_pool[:]\n"
                f"A._Atom__id_pool[:] = [{entry}]\n"
                "try:\n    A('H', bond_=False)\n"
                "finally:\n    A._Atom__id_pool[:] = saved")
        got = type(eval(entry)).__name__
        return Op(code, "generate_id", expect=(TypeError, f"Expected int, got {got}"), strict=True)

    def no_print(self):
        text, _ = self.atom()
        code = ("saved = builtins.print\n"
                "del builtins.print\n"
                f"try:\n    Atom.get_formula({text})\n"
                "finally:\n    builtins.print = saved")
        return Op(code, "no_print", expect=(NameError, "name 'print' is not defined"))
