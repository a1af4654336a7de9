// The display lines a formula walk prints, one print(atom) per atom.
//
// print(atom) costs far more than the walk step it follows: the lookups of
// print and sys.stdout, the call through __str__, two writes. While `print`
// is the interpreter's own, sys.stdout is exactly an io.StringIO or an
// io.TextIOWrapper over the io module's own file or bytes buffer (and open:
// none of these run Python code to tell) and an atom's type displays it with
// the module's own slot, the line is built here and kept; the kept lines go
// out in one write when the walk ends, when it fails, and before any step
// that could run Python code (the caller flushes first), so the text written,
// and its order against anything else written, is that of one print per
// line. Anything else (a replaced print or __str__, another stdout, a print
// among the module's globals) takes print(atom) itself, after the kept lines.
#pragma once

#include "python/ref.hpp"

#include <string>

namespace atom {

class LinePrinter {
public:
    // `may_keep`: whether lines may be kept at all (the walk's other steps
    // can tell when they run Python code).
    explicit LinePrinter(bool may_keep) : may_keep_(may_keep) {}

    // print(atom), kept or made at once.
    bool print(PyObject* atom);
    // Writes the kept lines; false with the write's exception set.
    bool flush();
    bool keeping() const { return !pending_.empty(); }

private:
    bool can_keep();

    bool may_keep_;
    std::string pending_;
    Ref out_;  // sys.stdout while lines are kept
    Ref map_;  // the registry, plain, while lines are kept
};

// print(atom) as a call: `print` is a global of the module, else the builtin.
bool print_atom(PyObject* atom);

}  // namespace atom
