#include "output/formula.hpp"

#include "python/foreign.hpp"
#include "python/ints.hpp"
#include "python/text.hpp"
#include "output/formula_walk.hpp"
#include "registry/tags.hpp"
#include "registry/atoms.hpp"
#include "registry/element_table.hpp"

#include <vector>

namespace atom {
namespace {

PyObject* atom_class() { return reinterpret_cast<PyObject*>(g.atom_type); }

bool has_plain_keys(PyObject* tally) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(tally, &pos, &key, &value))
        if (!PyUnicode_CheckExact(key)) return false;
    return true;
}

// The last fresh tally built, to be copied while the table's keys are the
// same objects (held here, so no other object can take their place). Never
// destroyed: its references outlive the interpreter.
struct TallyTemplate {
    std::vector<Ref> keys;
    Ref tally;

    bool matches(PyObject* list) const {
        if (!tally || static_cast<size_t>(PyList_GET_SIZE(list)) != keys.size()) return false;
        for (size_t i = 0; i < keys.size(); ++i)
            if (PyList_GET_ITEM(list, static_cast<Py_ssize_t>(i)) != keys[i].get()) return false;
        return true;
    }
};
TallyTemplate& tally_template = *new TallyTemplate;

// A fresh tally: every element-table key, in table order, counting 0.
Ref new_tally() {
    Ref keys = element_symbols(atom_class());
    if (!keys) return nullptr;
    if (tally_template.matches(keys.get())) {
        keys.reset_plain();  // the template's keys: exact str
        return Ref::steal(PyDict_Copy(tally_template.tally.get()));
    }
    Ref tally = Ref::steal(PyDict_New());
    if (!tally) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i)
        if (!foreign::set_item(tally.get(), PyList_GET_ITEM(keys.get(), i), g.const_zero)) return nullptr;
    // Only exact str keys make a copy equal to a fresh build (no __hash__ or
    // __eq__ of their own to run).
    if (has_plain_keys(tally.get())) {
        Ref copy = Ref::steal(PyDict_Copy(tally.get()));
        if (!copy) return nullptr;
        tally_template.keys.clear();
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i)
            tally_template.keys.push_back(Ref::borrow(PyList_GET_ITEM(keys.get(), i)));
        tally_template.tally = std::move(copy);
    }
    return tally;
}

// What a reader of the tally reports at each step: the general reader only
// succeeds or fails; the plain one, which runs no Python code, may find that
// a step needs the general reader (nothing has been changed then).
enum class Step { Failed, Cannot, Done };

// The Hill formula, one rule for both readers of the tally: with carbon, C
// and H first and the rest in table order; without carbon, plain table order
// (its C entry counts 0 and is not written). An element is written when it
// counts at least 1, its count after it when above 1.
template <class Reader>
Step write_hill_formula(Reader& r, Text& out) {
    Ref symbols = r.symbols();
    if (!symbols) return r.missing();
    bool carbon = false;
    if (Step s = r.has_carbon(&carbon); s != Step::Done) return s;
    // With carbon, the table's "H" goes to the front and its first entry (once
    // "H" is out of the list), "C" in the standard table, with it; `skip` is
    // that "H" when the reader leaves it in the list.
    Py_ssize_t skip = -1;
    if (carbon)
        if (Step s = r.drop_hydrogen(symbols.get(), &skip); s != Step::Done) return s;
    const auto write = [&](PyObject* symbol) {
        Ref count;
        if (Step s = r.count(symbol, &count); s != Step::Done) return s;
        // The tally is private to this call and holds exact ints only.
        const BigInt n = read_int(count.get());
        if (n.value < 1) return Step::Done;
        if (!out.add_str(symbol) || (n.value > 1 && !out.add_plain(count.get()))) return Step::Failed;
        return Step::Done;
    };
    if (carbon)
        for (PyObject* symbol : {g.names.C, g.names.H})
            if (Step s = write(symbol); s != Step::Done) return s;
    const Py_ssize_t first = !carbon ? 0 : skip == 0 ? 2 : 1;
    for (Py_ssize_t i = first; i < PyList_GET_SIZE(symbols.get()); ++i) {
        if (i == skip) continue;
        Ref symbol = Ref::borrow(PyList_GET_ITEM(symbols.get(), i));
        if (Step s = write(symbol.get()); s != Step::Done) return s;
    }
    r.done_with(symbols);
    return Step::Done;
}

// Reads the tally and the element table as the text does, through Python
// where the objects are foreign.
struct GeneralReader {
    PyObject* tally;

    Ref symbols() const { return element_symbols(atom_class()); }
    Step missing() const { return Step::Failed; }
    Step has_carbon(bool* carbon) const {
        Ref count = foreign::get_item(tally, g.names.C);
        const int positive = count ? foreign::compare(count.get(), g.const_zero, Py_GT) : -1;
        *carbon = positive > 0;
        return positive < 0 ? Step::Failed : Step::Done;
    }
    Step drop_hydrogen(PyObject* symbols, Py_ssize_t*) const {
        return foreign::call_method(symbols, g.names.remove, g.names.H) ? Step::Done : Step::Failed;
    }
    void done_with(Ref&) const {}
    Step count(PyObject* symbol, Ref* count) const {
        *count = foreign::get_item(tally, symbol);
        return *count ? Step::Done : Step::Failed;
    }
};

// Reads a tally keyed by exact str and a table of exact str keys without
// Python code; anything else is left to the general reader.
struct PlainReader {
    PyObject* tally;

    Ref symbols() const {
        Ref keys = plain_element_symbols(atom_class());
        for (Py_ssize_t i = 0; keys && i < PyList_GET_SIZE(keys.get()); ++i)
            if (!PyUnicode_CheckExact(PyList_GET_ITEM(keys.get(), i))) return nullptr;
        return keys;
    }
    Step missing() const { return PyErr_Occurred() ? Step::Failed : Step::Cannot; }
    Step has_carbon(bool* carbon) const {
        Ref count;
        if (Step s = this->count(g.names.C, &count); s != Step::Done) return s;
        *carbon = read_int(count.get()).value > 0;
        return Step::Done;
    }
    // The first "H" of the reader's own list of exact str, compared without
    // Python code, left in place and skipped.
    Step drop_hydrogen(PyObject* symbols, Py_ssize_t* skip) const {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(symbols); ++i)
            if (PyUnicode_Compare(PyList_GET_ITEM(symbols, i), g.names.H) == 0) {
                *skip = i;
                return Step::Done;
            }
        return Step::Cannot;
    }
    void done_with(Ref& symbols) const { symbols.reset_plain(); }
    Step count(PyObject* symbol, Ref* count) const {
        PyObject* found = PyDict_GetItemWithError(tally, symbol);
        if (!found || !PyLong_CheckExact(found)) return PyErr_Occurred() ? Step::Failed : Step::Cannot;
        *count = Ref::borrow(found);
        return Step::Done;
    }
};

// The formula as a str; null with no error set when the plain reader cannot.
template <class Reader>
Ref hill_formula(Reader r) {
    Text out;
    const Step s = write_hill_formula(r, out);
    return s == Step::Done ? out.to_str() : nullptr;
}

}  // namespace

Ref to_formula(PyObject* self, PyObject* top, PyObject* val) {
    if (!confirm(self)) return nullptr;
    const int entry = foreign::is_true(top);
    if (entry < 0) return nullptr;
    Ref tally = entry ? (reset_all_tags() ? new_tally() : nullptr) : Ref::borrow(val);
    // Only a tally of this call's own, keyed by exact str, is read without
    // Python code; a caller's tally makes every step a general one.
    const bool plain = entry && tally && has_plain_keys(tally.get());
    if (!tally || !walk_and_print(self, tally.get(), plain)) return nullptr;
    if (!entry) return Ref::borrow(g.names.empty);
    Ref formula = plain ? hill_formula(PlainReader{tally.get()}) : nullptr;
    if (!formula && !PyErr_Occurred()) formula = hill_formula(GeneralReader{tally.get()});
    if (!formula || !reset_all_tags()) return nullptr;
    // The entry call's own tally: exact str (or None) keys counting ints.
    if (plain) tally.reset_plain();
    return formula;
}

}  // namespace atom
