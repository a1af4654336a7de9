// Reading the text into atoms, bonds and tokens, without recursion: the atoms
// that open branches wait on an explicit stack.
#include "molecule.hpp"

#include <array>

namespace kekule {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

struct OpenRing {
    int atom = -1;
    char bond = 0;
    int token = 0;
    int position = 0;
};

// '-', '/' and '\' all write a single bond.
char bond_class(char symbol) { return symbol == '/' || symbol == '\\' ? '-' : symbol; }

class Parser {
public:
    Parser(std::string_view text, bool strict, Molecule& molecule, Failure& failure)
        : text_(text), strict_(strict), m_(molecule), failure_(failure) {}

    bool run() {
        while (at_ < size()) {
            if (!step()) return false;
        }
        return finish();
    }

private:
    std::string_view text_;
    bool strict_;
    Molecule& m_;
    Failure& failure_;
    int at_ = 0;
    int previous_ = -1;
    char bond_ = 0;
    int bond_position_ = 0;
    int component_ = 0;
    std::vector<int> branches_;           // atoms waiting for their branch to end
    std::vector<int> branch_positions_;   // where each branch opened
    std::array<OpenRing, 100> rings_{};
    int open_rings_ = 0;

    int size() const { return static_cast<int>(text_.size()); }
    char peek(int offset = 0) const { return at_ + offset < size() ? text_[at_ + offset] : '\0'; }

    bool fail(std::string reason, int position) {
        failure_.reason = std::move(reason);
        failure_.position = position;
        return false;
    }

    bool step() {
        char c = peek();
        switch (c) {
            case '(': return open_branch();
            case ')': return close_branch();
            case '.': return dot();
            case '[': return bracket_atom();
            case '%': return ring_label();
            case '-': case '=': case '#': case ':': case '/': case '\\': case '$': return bond_symbol(c);
            default:
                if (is_digit(c)) return ring_label();
                return organic_atom(c);
        }
    }

    bool open_branch() {
        if (previous_ < 0) return fail("a branch must follow an atom", at_);
        if (bond_) return fail("a bond symbol must be followed by an atom", bond_position_);
        branches_.push_back(previous_);
        branch_positions_.push_back(at_);
        m_.tokens.push_back({TokenKind::Open, 0});
        ++at_;
        return true;
    }

    bool close_branch() {
        if (branches_.empty()) return fail("this ')' closes no branch", at_);
        if (bond_) return fail("a bond symbol must be followed by an atom", bond_position_);
        if (m_.tokens.back().kind == TokenKind::Open) return fail("empty branch", at_);
        previous_ = branches_.back();
        branches_.pop_back();
        branch_positions_.pop_back();
        m_.tokens.push_back({TokenKind::Close, 0});
        ++at_;
        return true;
    }

    bool dot() {
        if (bond_) return fail("a bond symbol must be followed by an atom", bond_position_);
        if (!branches_.empty()) return fail("'.' inside a branch", at_);
        if (previous_ < 0) return fail("empty structure before '.'", at_);
        m_.tokens.push_back({TokenKind::Dot, 0});
        previous_ = -1;
        ++component_;
        ++at_;
        return true;
    }

    bool bond_symbol(char c) {
        if (previous_ < 0) return fail("a bond symbol must follow an atom", at_);
        if (bond_) return fail("two bond symbols in a row", at_);
        if (c == '$') return fail("quadruple bonds are not supported", at_);
        if (strict_ && (c == '/' || c == '\\')) return fail("stereo marks are refused in strict mode", at_);
        bond_ = c;
        bond_position_ = at_++;
        return true;
    }

    int add_bond(int a, int b, char symbol) {
        BondRecord bond{a, b, 1, false};
        if (symbol == '=') bond.order = 2;
        else if (symbol == '#') bond.order = 3;
        else if (symbol == ':') bond.aromatic = true;
        else if (symbol == 0) bond.aromatic = m_.atoms[a].aromatic && m_.atoms[b].aromatic;
        m_.bonds.push_back(bond);
        return static_cast<int>(m_.bonds.size()) - 1;
    }

    bool ring_label() {
        int begin = at_;
        int label;
        if (peek() == '%') {
            if (!is_digit(peek(1)) || !is_digit(peek(2)))
                return fail("a ring label after '%' is two digits", at_);
            label = (peek(1) - '0') * 10 + (peek(2) - '0');
            at_ += 3;
        } else {
            label = peek() - '0';
            ++at_;
        }
        if (previous_ < 0) return fail("a ring label must follow an atom", begin);
        OpenRing& ring = rings_[label];
        if (ring.atom < 0) {
            ring = {previous_, bond_, static_cast<int>(m_.tokens.size()), begin};
            m_.tokens.push_back({TokenKind::Ring, -1, begin, at_});
            ++open_rings_;
        } else if (!close_ring(ring, begin)) {
            return false;
        }
        bond_ = 0;
        return true;
    }

    bool close_ring(OpenRing& ring, int begin) {
        if (ring.atom == previous_) return fail("a ring bond from an atom to itself", begin);
        if (m_.atoms[ring.atom].component != component_) return fail("a ring bond across '.'", begin);
        if (ring.bond && bond_ && bond_class(ring.bond) != bond_class(bond_))
            return fail("the two ends of this ring bond give different bond symbols", begin);
        for (const BondRecord& bond : m_.bonds)
            if ((bond.a == ring.atom && bond.b == previous_) || (bond.b == ring.atom && bond.a == previous_))
                return fail("a second bond between the same two atoms", begin);
        int bond = add_bond(ring.atom, previous_, ring.bond ? ring.bond : bond_);
        m_.tokens[ring.token].index = bond;
        m_.tokens.push_back({TokenKind::Ring, bond, begin, at_});
        ring.atom = -1;
        --open_rings_;
        return true;
    }

    void add_atom(AtomRecord atom) {
        atom.component = component_;
        int index = static_cast<int>(m_.atoms.size());
        m_.atoms.push_back(atom);
        if (previous_ >= 0) {
            int bond = add_bond(previous_, index, bond_);
            m_.tokens.push_back({TokenKind::Bond, bond});
        }
        m_.atom_token.push_back(static_cast<int>(m_.tokens.size()));
        m_.tokens.push_back({TokenKind::Atom, index});
        previous_ = index;
        bond_ = 0;
    }

    bool organic_atom(char c) {
        AtomRecord atom;
        atom.position = at_;
        int length = 1;
        switch (c) {
            case 'C': atom.element = peek(1) == 'l' ? (length = 2, kCl) : kC; break;
            case 'B':
                if (peek(1) != 'r') return fail("element B is not in the element table", at_);
                atom.element = kBr;
                length = 2;
                break;
            case 'N': atom.element = kN; break;
            case 'O': atom.element = kO; break;
            case 'P': atom.element = kP; break;
            case 'S': atom.element = kS; break;
            case 'F': atom.element = kF; break;
            case 'I': atom.element = kI; break;
            case 'c': case 'n': case 'o': case 'p': case 's':
                atom.element = element_of(std::string_view(&"CNOPS"[std::string_view("cnops").find(c)], 1));
                atom.aromatic = true;
                break;
            case 'b': return fail("element B is not in the element table", at_);
            case '*': return fail("'*' (an unknown atom) cannot be read", at_);
            default: return fail(std::string("unexpected character '") + c + "'", at_);
        }
        at_ += length;
        add_atom(atom);
        return true;
    }

    // A number of at most three digits, or `otherwise` when there is no digit.
    int number(int otherwise) {
        if (!is_digit(peek())) return otherwise;
        int value = 0;
        for (int digits = 0; is_digit(peek()) && digits < 3; ++digits) value = value * 10 + (text_[at_++] - '0');
        return value;
    }

    bool bracket_symbol(AtomRecord& atom) {
        int begin = at_;
        char c = peek();
        if (c == '*') return fail("'*' (an unknown atom) cannot be read", at_);
        if (is_lower(c)) {
            std::string_view aromatic("cnops");
            if (aromatic.find(c) == std::string_view::npos || is_lower(peek(1)))
                return fail("this aromatic element is not in the element table", at_);
            atom.element = element_of(std::string_view(&"CNOPS"[aromatic.find(c)], 1));
            atom.aromatic = true;
            ++at_;
            return true;
        }
        if (!is_upper(c)) return fail("an element symbol was expected", at_);
        int length = is_lower(peek(1)) ? 2 : 1;
        atom.element = element_of(text_.substr(at_, length));
        if (atom.element < 0)
            return fail("element " + std::string(text_.substr(at_, length)) + " is not in the element table", begin);
        at_ += length;
        return true;
    }

    bool chirality() {
        if (peek() != '@') return true;
        if (strict_) return fail("stereo marks are refused in strict mode", at_);
        ++at_;
        if (peek() == '@') {
            ++at_;
        } else if (is_upper(peek()) && is_upper(peek(1)) && peek() != 'H') {
            at_ += 2;
            number(0);
        }
        return true;
    }

    bool charge(AtomRecord& atom) {
        char sign = peek();
        if (sign != '+' && sign != '-') return true;
        ++at_;
        int magnitude = number(-1);
        if (magnitude < 0) {
            magnitude = 1;
            while (peek() == sign) ++magnitude, ++at_;
        }
        atom.charge = sign == '+' ? magnitude : -magnitude;
        return true;
    }

    bool bracket_atom() {
        AtomRecord atom;
        atom.position = at_;
        atom.bracket = true;
        ++at_;
        if (is_digit(peek())) return fail("isotopes are not supported", at_);
        if (!bracket_symbol(atom) || !chirality()) return false;
        atom.hcount = 0;
        if (peek() == 'H') {
            ++at_;
            atom.hcount = number(1);
        }
        if (!charge(atom)) return false;
        if (peek() == ':') {
            if (strict_) return fail("atom maps are refused in strict mode", at_);
            ++at_;
            if (number(-1) < 0) return fail("an atom map number was expected", at_);
        }
        if (peek() != ']') return fail(at_ < size() ? "unexpected character in a bracket atom" : "'[' is never closed", at_);
        ++at_;
        add_atom(atom);
        return true;
    }

    bool finish() {
        if (bond_) return fail("a bond symbol must be followed by an atom", bond_position_);
        if (!branches_.empty()) return fail("'(' is never closed", branch_positions_.back());
        if (open_rings_) {
            int first = size();
            for (const OpenRing& ring : rings_)
                if (ring.atom >= 0 && ring.position < first) first = ring.position;
            return fail("ring bond " + std::string(text_.substr(first, 1) == "%" ? text_.substr(first, 3) : text_.substr(first, 1)) +
                            " is never closed", first);
        }
        if (previous_ < 0) return fail(m_.atoms.empty() ? "empty text" : "empty structure after '.'", at_);
        return true;
    }
};

}  // namespace

bool parse(std::string_view text, bool strict, Molecule& molecule, Failure& failure) {
    molecule.clear();
    if (!Parser(text, strict, molecule, failure).run()) return false;
    molecule.index_bonds();
    return true;
}

}  // namespace kekule
