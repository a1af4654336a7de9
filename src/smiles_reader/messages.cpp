#include "smiles_reader/messages.hpp"

#include "python/errors.hpp"
#include "python/foreign.hpp"

namespace atom::smiles {

bool Quote::add_to(Text& m) const {
    if (top) return m.add_str(text);
    Ref input = foreign::item_at(val, 0);
    return input && m.add_plain(input.get());
}

bool raise_reading_error(const Quote& q, std::string_view before, PyObject* detail, std::string_view after,
                         Ref context) {
    Text m("[Smiles \"");
    if (!q.add_to(m)) return false;
    m.add("\"] ").add(before);
    if (detail && !m.add_str(detail)) return false;
    m.add(after);
    Ref msg = m.to_str();
    Ref exc = msg ? new_error(ErrorKind::Smiles, msg.get(), Py_None) : nullptr;
    if (!exc) return false;
    if (context) {
        // Raised in the handler of `context`.
        PyException_SetContext(exc.get(), context.release());
        PyErr_SetRaisedException(exc.release());
    } else {
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
    }
    return false;
}

bool raise_level_failure(const Quote& q, const Level& level) {
    switch (level.failure) {
        case Failure::Unclosed:
            return raise_reading_error(q, "A parentheses in \"", level.detail.get(), "...\" have never been closed.");
        case Failure::Charge:
            return raise_reading_error(q, "Unresolved charge number \"", level.detail.get(), "\".", level.context);
        case Failure::Hydrogens:
            return raise_reading_error(q, "Unresolved hydrogen atoms number \"", level.detail.get(), "\".",
                                       level.context);
        case Failure::RingRef:
            return raise_reading_error(q, "Unresolved atom ref. An Atom ref should be an non-negative integer.",
                                       nullptr, "");
        case Failure::Value:
            PyErr_SetRaisedException(level.context.new_ref());
            return false;
        case Failure::Index:
        case Failure::None:
            break;
    }
    PyErr_SetString(PyExc_IndexError, "string index out of range");
    return false;
}

void wrap_reading_failure(const Quote& q) {
    wrap_conversion_failure(
        [](const void* context, Text& m, Ref*) {
            m.add("[Smiles \"");
            if (!static_cast<const Quote*>(context)->add_to(m)) return false;
            m.add("\"] Failed to convert from SMILES. Something goes wrong when trying to convert.");
            return true;
        },
        &q);
}

}  // namespace atom::smiles
