#include "output/smiles_writer.hpp"
#include "python/fast_paths.hpp"

#include "python/errors.hpp"
#include "output/atom_piece.hpp"
#include "output/piece_tree.hpp"
#include "output/ring_book.hpp"
#include "output/walk_common.hpp"
#include "python/foreign.hpp"
#include "registry/plain_registry.hpp"
#include "registry/tags.hpp"

#include <vector>

namespace atom {
namespace {

// The failure of one call, seen by that call, becomes the conversion error of
// its atom; the calls above then pass it unchanged.
void wrap_failure(PyObject* atom) {
    wrap_conversion_failure(
        [](const void* context, Text& m, Ref* id) {
            *id = get_id(static_cast<PyObject*>(const_cast<void*>(context)));
            if (!*id || !add_atom_tag(m, id->get())) return false;
            m.add("Failed to convert into SMILES. Something goes wrong when trying to convert.");
            return true;
        },
        atom);
}

// A bond between two written atoms whose order has no symbol; `atom` is the
// later-written one.
bool raise_order_error(PyObject* atom, int64_t order) {
    Ref id = get_id(atom);
    if (!id) return false;
    Text m;
    if (!add_atom_tag(m, id.get())) return false;
    m.add("When converting into SMILES, a bond with order greater than 3 is not allowed (Currently, it is ");
    m.add_int(order).add(").");
    return raise_error(ErrorKind::Smiles, m, id.get());
}

// One walk from an entry call (or from a Python caller's own nested call),
// with every nested call of the depth-first writer kept as a frame of its own.
class SmilesWalk {
public:
    Ref run(PyObject* self, bool top, PyObject* val);

private:
    enum class State : uint8_t {
        Open,       // writing its children
        Written,    // a hydrogen start written whole
        Forward,    // a hydrogen start whose text is a fresh entry call's
        Forwarded,  // that entry call has returned
    };

    struct Call {
        Ref atom;
        Ref parent;  // the atom the walk reached it from; null for entry and caller's calls
        bool top = false;
        size_t book = 0;  // its walk state, in books_
        int node = -1;    // its text, in tree_
        State state = State::Open;
        std::vector<Neighbour> neighbours;
        size_t next = 0;  // next neighbour to consider as a child
        Ref forward_to;
    };

    bool open(Ref atom, Ref parent, bool top, size_t book);
    bool begin(Call& c);
    bool begin_hydrogen(Call& c);
    bool mark_neighbours(const Call& c, const std::vector<Neighbour>& neighbours, Text& piece);
    bool next_child(Call& c, Ref* child);
    bool nested(size_t caller, Ref atom, Ref parent, bool top);
    bool finish(const Call& c);
    void returned();
    Ref element_of(PyObject* atom);
    bool census_of(PyObject* atom, Census* census);
    int neighbour_mark(const Neighbour& n, Ref* atom);
    bool confirmed(PyObject* atom);
    Ref id_of(PyObject* atom);
    bool drive();
    bool write_back(PyObject* self, bool ok);

    std::vector<Call> calls_;
    std::vector<RingBook> books_;
    PieceTree tree_;
    int root_ = -1;
    // While no step has met a value that could run Python code (or fail) since
    // the entry call's reset, the registry `map_` is plain and unchanged: each
    // step reads it directly, an entry the census resolved stays resolved, and
    // the bracket decision is remembered per element and bond shape. The first
    // step that meets anything else takes the general path, as does every
    // step after it.
    bool pure_ = false;
    Ref map_;
    CapacityMemo* memo_ = nullptr;
};

// A new call: its steps up to the first child run at once, and a failure is
// this call's own.
bool SmilesWalk::open(Ref atom, Ref parent, bool top, size_t book) {
    Call c;
    c.atom = std::move(atom);
    c.parent = std::move(parent);
    c.top = top;
    c.book = book;
    c.node = tree_.add_node();
    calls_.push_back(std::move(c));
    if (begin(calls_.back())) return true;
    wrap_failure(calls_.back().atom.get());
    return false;
}

// Entry, hydrogen forms, neighbour census, atom text, predecessor and rings.
bool SmilesWalk::begin(Call& c) {
    if (c.top) {
        c.book = books_.size();
        books_.emplace_back();
        books_.back().start_fresh();
        if (!reset_all_tags()) return false;
        map_ = plain_registry();
        memo_ = map_ ? CapacityMemo::for_current_table() : nullptr;
        pure_ = memo_ != nullptr;
    }
    mark_atom(c.atom.get());
    Ref element = element_of(c.atom.get());
    if (!element) return false;
    if (is_hydrogen_symbol(element.get())) {
        pure_ = false;
        return begin_hydrogen(c);
    }
    Census census;
    if (!census_of(c.atom.get(), &census)) return false;
    Text& piece = tree_.piece(c.node);
    if (!write_atom_text(c.atom.get(), element.get(), census, &piece, pure_ ? memo_ : nullptr)) return false;
    if (!mark_neighbours(c, census.neighbours, piece)) return false;
    c.neighbours = std::move(census.neighbours);
    return true;
}

// A hydrogen is written only when the walk starts at it: alone, as H2, or
// else as the structure of the atom it is bonded to.
bool SmilesWalk::begin_hydrogen(Call& c) {
    Ref bonds = get_bonds(c.atom.get());
    if (!bonds) return false;
    Text& piece = tree_.piece(c.node);
    if (PyList_GET_SIZE(bonds.get()) == 0) {
        Ref charge = get_charge(c.atom.get());
        c.state = State::Written;
        return charge && write_lone_hydrogen(charge.get(), &piece);
    }
    if (PyList_GET_SIZE(bonds.get()) == 1) {
        Ref only = Ref::borrow(PyList_GET_ITEM(bonds.get(), 0));
        Ref element = entry_element(only.get());
        if (!element) return false;
        if (is_hydrogen_symbol(element.get())) {
            piece.add("[HH]");
            c.state = State::Written;
            return true;
        }
    }
    if (PyList_GET_SIZE(bonds.get()) == 0) {  // emptied while its entry was resolved
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        return false;
    }
    Ref first = Ref::borrow(PyList_GET_ITEM(bonds.get(), 0));
    c.forward_to = resolve_atom(first.get());
    c.state = State::Forward;
    return static_cast<bool>(c.forward_to);
}

// The already-marked neighbours: the one the walk came from gets the bond
// symbol in front of the atom, every other one closes a ring here. Without a
// known predecessor (an entry call, a Python caller's own call) the first
// marked neighbour is taken as it.
bool SmilesWalk::mark_neighbours(const Call& c, const std::vector<Neighbour>& neighbours, Text& piece) {
    RingBook& book = books_[c.book];
    int64_t marked_count = 0;
    bool predecessor_seen = false;
    for (const Neighbour& n : neighbours) {
        Ref a;
        const int marked = neighbour_mark(n, &a);
        if (marked < 0) return false;
        if (!marked) continue;
        ++marked_count;
        const bool predecessor = c.parent ? !predecessor_seen && a == c.parent : marked_count == 1;
        const char* symbol = bond_symbol(n.order);
        if (!symbol) return raise_order_error(c.atom.get(), n.order);
        if (predecessor) {
            predecessor_seen = true;
            piece.bytes().insert(0, symbol);
            continue;
        }
        piece.add(symbol);
        if (!book.close_ring(n.key.get(), n.order, piece)) return false;
    }
    return true;
}

// The next neighbour not yet marked, read at this moment (a sibling's sub-walk
// may have reached it), or null when all have been considered.
bool SmilesWalk::next_child(Call& c, Ref* child) {
    while (c.next < c.neighbours.size()) {
        const Neighbour n = c.neighbours[c.next++];
        const int marked = neighbour_mark(n, child);
        if (marked == 0) return true;
        if (marked < 0) return false;
    }
    child->reset();
    return true;
}

// A call made from `caller`: confirming the callee and the depth bound are the
// caller's steps; the callee's own steps are its own.
bool SmilesWalk::nested(size_t caller, Ref atom, Ref parent, bool top) {
    if (!confirmed(atom.get()) || !walk_depth_ok(calls_.size())) {
        wrap_failure(calls_[caller].atom.get());
        return false;
    }
    const size_t book = calls_[caller].book;
    return open(std::move(atom), std::move(parent), top, book);
}

// Ring openings after all children, then the entry call's closing reset.
bool SmilesWalk::finish(const Call& c) {
    RingBook& book = books_[c.book];
    if (book.has_records()) {
        Ref id = id_of(c.atom.get());
        if (!id || !book.add_openings(id.get(), tree_.piece(c.node))) return false;
    }
    return !c.top || reset_all_tags();
}

// The steps read directly while the walk is pure; each falls back to the
// general step (for good) when a value is not of its plain type.

Ref SmilesWalk::element_of(PyObject* atom) {
    PyObject* element = *slot_ptr(atom, Slot::Element);
    if (pure_ && element && PyUnicode_CheckExact(element) && plain_confirmed(map_.get(), atom))
        return Ref::borrow(element);
    pure_ = false;
    return get_element(atom);
}

bool SmilesWalk::census_of(PyObject* atom, Census* census) {
    if (pure_ && fast_path(FastPath::PlainCensus) && take_plain_census(atom, map_.get(), census)) return true;
    pure_ = false;
    *census = Census();
    return take_census(atom, census);
}

// 1 when the neighbour is marked, 0 when not (*atom set), -1 on failure.
int SmilesWalk::neighbour_mark(const Neighbour& n, Ref* atom) {
    if (pure_ && n.atom) {
        PyObject* tag = *slot_ptr(n.atom.get(), Slot::AccessTag);
        if (tag == Py_True || tag == Py_False) {
            *atom = n.atom;
            return tag == Py_True;
        }
    }
    pure_ = false;
    *atom = resolve_atom(n.key.get());
    return *atom ? is_marked(atom->get()) : -1;
}

bool SmilesWalk::confirmed(PyObject* atom) {
    if (pure_ && plain_confirmed(map_.get(), atom)) return true;
    pure_ = false;
    return confirm(atom);
}

Ref SmilesWalk::id_of(PyObject* atom) {
    PyObject* id = *slot_ptr(atom, Slot::Id);
    if (pure_ && id && plain_confirmed(map_.get(), atom)) return Ref::borrow(id);
    pure_ = false;
    return get_id(atom);
}

void SmilesWalk::returned() {
    const int node = calls_.back().node;
    calls_.pop_back();
    if (calls_.empty())
        root_ = node;
    else
        tree_.attach(calls_.back().node, node);
}

bool SmilesWalk::drive() {
    while (!calls_.empty()) {
        const size_t at = calls_.size() - 1;
        Call& c = calls_[at];
        switch (c.state) {
            case State::Written:
            case State::Forwarded:
                returned();  // without the closing reset, as these returns skip it
                break;
            case State::Forward: {
                c.state = State::Forwarded;
                Ref target = std::move(c.forward_to);
                if (!nested(at, std::move(target), nullptr, true)) return false;
                break;
            }
            case State::Open: {
                Ref child;
                if (!next_child(c, &child)) {
                    wrap_failure(c.atom.get());
                    return false;
                }
                if (child) {
                    Ref parent = c.atom;
                    if (!nested(at, std::move(child), std::move(parent), false)) return false;
                    break;
                }
                if (!finish(c)) {
                    wrap_failure(c.atom.get());
                    return false;
                }
                returned();
                break;
            }
        }
    }
    return true;
}

// A Python caller's list gets the counter and the rings found, also when the
// walk failed part way (then the walk's failure is the one that stays raised).
bool SmilesWalk::write_back(PyObject* self, bool ok) {
    RingBook& callers = books_.front();
    if (ok) {
        if (callers.write_back()) return true;
        wrap_failure(self);
        return false;
    }
    SavedError failure;
    if (!callers.write_back()) PyErr_Clear();
    failure.restore();
    return false;
}

Ref SmilesWalk::run(PyObject* self, bool top, PyObject* val) {
    bool ok;
    if (top) {
        ok = open(Ref::borrow(self), nullptr, true, 0) && drive();
    } else {
        books_.emplace_back();
        if (!books_.front().read_from(val)) {
            wrap_failure(self);
            return nullptr;
        }
        ok = open(Ref::borrow(self), nullptr, false, 0) && drive();
        ok = write_back(self, ok);
    }
    return ok ? tree_.join(root_) : nullptr;
}

}  // namespace

Ref to_smiles(PyObject* self, PyObject* top, PyObject* val) {
    if (!confirm(self)) return nullptr;  // outside the wrapping: a deleted start stays an AtomError
    const int entry = foreign::is_true(top);
    if (entry < 0) {
        wrap_failure(self);
        return nullptr;
    }
    SmilesWalk walk;
    return walk.run(self, entry != 0, val);
}

}  // namespace atom
