#include "smiles_reader/parse.hpp"

#include "python/foreign.hpp"
#include "python/state.hpp"
#include "registry/atoms.hpp"

#include <algorithm>
#include <unordered_map>

namespace atom::smiles {
namespace {

struct Range {
    size_t begin, end;
};

// The keys of one and two characters of the element table, read once per
// text when the table is the class's plain attribute and a dict whose keys are
// all exact str: `text in table` is then a comparison of code points that runs
// no Python code, so nothing changes the table while the text is cut.
class ElementKeys {
public:
    // Whether the characters [from, from + n) (n is 1 or 2) are a key. Sets
    // `*usable` false, answering nothing, for a table of another kind.
    bool contains(PyObject* table, const Source& src, size_t from, size_t n, bool* usable) {
        if (table != table_) read(table);
        *usable = plain_;
        const Py_UCS4 first = src.at(from);
        const Py_UCS4 second = n == 2 ? src.at(from + 1) : 0;
        for (const Key& k : keys_)
            if (k.length == n && k.chars[0] == first && (n == 1 || k.chars[1] == second)) return true;
        return false;
    }

private:
    struct Key {
        Py_UCS4 chars[2];
        size_t length;
    };

    void read(PyObject* table) {
        table_ = table;
        keys_.clear();
        // Only the class's own attribute, found without running any code.
        plain_ = PyDict_CheckExact(table) && _PyType_Lookup(g.atom_type, g.names.element_info) == table;
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (plain_ && PyDict_Next(table, &pos, &key, &value)) {
            if (!PyUnicode_CheckExact(key)) {
                plain_ = false;
                break;
            }
            const Py_ssize_t length = PyUnicode_GET_LENGTH(key);
            if (length == 1 || length == 2)
                keys_.push_back({{PyUnicode_READ_CHAR(key, 0), length == 2 ? PyUnicode_READ_CHAR(key, 1) : 0},
                                 static_cast<size_t>(length)});
        }
        if (!plain_) keys_.clear();
    }

    PyObject* table_ = nullptr;  // borrowed: the class holds it while the text is cut
    bool plain_ = false;
    std::vector<Key> keys_;
};

// The text as the reading of one level sees it, consumed from the front.
class LevelCutter {
public:
    LevelCutter(Reading& r, Level& level, std::vector<Range>& kids, ElementKeys& keys)
        : r_(r), src_(r.source), level_(level), kids_(kids), keys_(keys) {}

    // False only for an interpreter failure (no memory...); a text that cannot
    // be read is recorded in the level instead.
    bool cut(size_t b, size_t e, bool top) {
        pos_ = b;
        end_ = e;
        if (!top) {
            if (pos_ == end_) return stop_at(Failure::Index);
            const Py_UCS4 c = src_.at(pos_);
            level_.incoming = c == '=' ? 2 : c == '#' ? 3 : 1;
            if (level_.incoming > 1) ++pos_;
        }
        if (pos_ == end_) return stop_at(Failure::Index);
        if (!(src_.at(pos_) == '[' ? bracket_atom() : organic_atom())) return false;
        if (level_.failure != Failure::None) return true;
        if (!ring_marks() || level_.failure != Failure::None) return true;
        return branches();
    }

private:
    // Records why the level cannot be read; the cutting itself went well.
    bool stop_at(Failure f, Ref detail = nullptr, Ref context = nullptr) {
        level_.failure = f;
        level_.detail = std::move(detail);
        level_.context = std::move(context);
        return true;
    }

    // int(text) as the interpreter reads it; *value stays null after a ValueError.
    bool read_int(size_t from, size_t to, Ref* value, Ref* text, Ref* error) {
        *text = src_.slice(from, to);
        if (!*text) return false;
        *value = Ref::steal(PyLong_FromUnicodeObject(text->get(), 10));
        if (*value) return true;
        if (!PyErr_ExceptionMatches(PyExc_ValueError)) return false;
        *error = Ref::steal(PyErr_GetRaisedException());
        return true;
    }

    bool bracket_atom() {
        const size_t close = src_.find(']', pos_, end_);
        if (close == Source::npos) return stop_at(Failure::Unclosed, src_.slice(pos_, std::min(pos_ + 5, end_)));
        const size_t from = pos_ + 1;
        size_t to = close;
        size_t sign = src_.find('+', from, to);
        if (sign == Source::npos) sign = src_.find('-', from, to);
        if (sign == Source::npos) {
            level_.charge = Ref::borrow(g.const_zero);
        } else if (sign == to - 1) {
            level_.charge = Ref::steal(PyLong_FromLong(src_.at(sign) == '+' ? 1 : -1));
        } else {
            Ref text, error;
            if (!read_int(sign, to, &level_.charge, &text, &error)) return false;
            if (!level_.charge) return stop_at(Failure::Charge, std::move(text), std::move(error));
        }
        if (!level_.charge) return false;
        if (sign != Source::npos) to = sign;
        const size_t h = src_.find('H', from, to);
        if (h == Source::npos) {
            level_.hydrogens = Ref::borrow(g.const_zero);
        } else if (h == to - 1) {
            level_.hydrogens = Ref::borrow(g.const_one);
        } else {
            Ref text, error;
            if (!read_int(h + 1, to, &level_.hydrogens, &text, &error)) return false;
            if (!level_.hydrogens) return stop_at(Failure::Hydrogens, std::move(text), std::move(error));
        }
        if (h != Source::npos) to = h;
        level_.element = src_.slice(from, to);
        pos_ = close + 1;
        return static_cast<bool>(level_.element);
    }

    bool organic_atom() {
        level_.charge = Ref::borrow(g.const_zero);
        const size_t two = std::min(pos_ + 2, end_);
        Ref table = class_attr(reinterpret_cast<PyObject*>(g.atom_type), g.names.element_info);
        if (!table) return false;
        bool usable = false;
        int known = keys_.contains(table.get(), src_, pos_, two - pos_, &usable) ? 1 : 0;
        if (!usable) {
            Ref pair = src_.slice(pos_, two);
            if (!pair) return false;
            known = PyDict_Check(table.get()) ? PyDict_Contains(table.get(), pair.get())
                                              : foreign::contains(table.get(), pair.get());
            if (known < 0) return false;
        }
        if (known) {
            level_.element = src_.slice(pos_, two);
            pos_ = two;
            return static_cast<bool>(level_.element);
        }
        const Py_UCS4 c = src_.at(pos_);
        if (c < 128) {
            const Py_UCS4 upper = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
            level_.element = Ref::steal(PyUnicode_FromOrdinal(static_cast<int>(upper)));
        } else {
            Ref one = src_.slice(pos_, pos_ + 1);
            level_.element = one ? foreign::call_method(one.get(), "upper", nullptr) : nullptr;
        }
        ++pos_;
        return static_cast<bool>(level_.element);
    }

    void add_mark(std::string label, int order) {
        level_.rings.push_back(static_cast<int>(r_.marks.size()));
        r_.marks.push_back(RingMark{std::move(label), order, -1, nullptr});
    }

    // The digits of a "%" label, as the decimal value int() gives them.
    bool percent_label(int order) {
        const size_t start = pos_;
        std::string digits;
        while (pos_ < end_ && is_digit(src_.at(pos_))) {
            const int d = Py_UNICODE_TODECIMAL(src_.at(pos_));
            if (!(digits.empty() && d == 0)) digits.push_back(static_cast<char>('0' + d));
            ++pos_;
        }
        if (pos_ == start) return stop_at(Failure::RingRef);
        if (pos_ - start > 18) {
            // int() has a limit on the digits it reads; a longer run fails as it would.
            Ref value, text, error;
            if (!read_int(start, pos_, &value, &text, &error)) return false;
            if (!value) return stop_at(Failure::Value, nullptr, std::move(error));
        }
        add_mark(digits.empty() ? std::string("0") : std::move(digits), order);
        return true;
    }

    bool ring_marks() {
        while (pos_ < end_) {
            const Py_UCS4 c = src_.at(pos_);
            int order = 1;
            Py_UCS4 next = c;
            if (c == '=' || c == '#') {
                if (pos_ + 1 >= end_) return stop_at(Failure::Index);
                order = c == '=' ? 2 : 3;
                next = src_.at(pos_ + 1);
                if (!is_digit(next) && next != '%') return true;
                ++pos_;
            }
            if (is_digit(next)) {
                add_mark(std::to_string(Py_UNICODE_TODECIMAL(next)), order);
                ++pos_;
            } else if (next == '%') {
                ++pos_;
                if (!percent_label(order) || level_.failure != Failure::None) return true;
            } else {
                return true;
            }
        }
        return true;
    }

    bool branches() {
        while (pos_ < end_ && src_.at(pos_) == '(') {
            const size_t close = src_.closing(pos_);
            if (close == Source::npos || close >= end_)
                return stop_at(Failure::Unclosed, src_.slice(pos_, std::min(pos_ + 4, end_)));
            kids_.push_back({pos_ + 1, close});
            pos_ = close + 1;
        }
        if (pos_ < end_) kids_.push_back({pos_, end_});
        return true;
    }

    Reading& r_;
    const Source& src_;
    Level& level_;
    std::vector<Range>& kids_;
    ElementKeys& keys_;
    size_t pos_ = 0, end_ = 0;
};

void pair_marks(Reading& r) {
    std::unordered_map<std::string, int> open;
    for (const Level& level : r.levels)
        for (int m : level.rings) {
            auto [it, fresh] = open.try_emplace(r.marks[static_cast<size_t>(m)].label, m);
            if (fresh) continue;
            r.marks[static_cast<size_t>(m)].partner = it->second;
            r.marks[static_cast<size_t>(it->second)].partner = m;
            open.erase(it);
        }
}

}  // namespace

bool cut_levels(Reading& r, bool top) {
    struct Pending {
        int level;
        size_t next, end;  // its branches and continuation still to cut, in `kids`
    };
    // A level reads at least one character; a long text grows as it goes.
    const size_t expected = std::min<size_t>(r.source.size() + 1, 1024);
    r.levels.reserve(expected);
    std::vector<Range> kids;  // the branches and continuations of every level, level after level
    kids.reserve(expected);
    std::vector<Pending> stack;
    stack.reserve(expected);
    ElementKeys keys;
    auto cut_one = [&](size_t b, size_t e, bool outer) -> bool {
        r.levels.emplace_back();
        const size_t first = kids.size();
        LevelCutter cutter(r, r.levels.back(), kids, keys);
        if (!cutter.cut(b, e, outer)) return false;
        stack.push_back({static_cast<int>(r.levels.size() - 1), first, kids.size()});
        r.levels.back().children.reserve(kids.size() - first);
        return true;
    };
    if (!cut_one(0, r.source.size(), top)) return false;
    while (!stack.empty()) {
        Pending& p = stack.back();
        if (r.levels[static_cast<size_t>(p.level)].failure != Failure::None) break;
        if (p.next == p.end) {
            stack.pop_back();
            continue;
        }
        const Range kid = kids[p.next++];
        r.levels[static_cast<size_t>(p.level)].children.push_back(static_cast<int>(r.levels.size()));
        if (!cut_one(kid.begin, kid.end, false)) return false;
    }
    pair_marks(r);
    return true;
}

}  // namespace atom::smiles
