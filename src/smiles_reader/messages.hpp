// The reader's errors: every message quotes the text being read.
#pragma once

#include "python/ref.hpp"
#include "python/text.hpp"
#include "smiles_reader/parse.hpp"

#include <string_view>

namespace atom::smiles {

// The quoted input: the text itself, or val[0] for a nested reading that was
// handed the shared state.
struct Quote {
    bool top;
    PyObject* text;
    PyObject* val;

    bool add_to(Text& m) const;
};

// SmilesError "[Smiles \"{quote}\"] {before}{detail}{after}". A `context`
// stays the error's context whatever the caller is handling.
bool raise_reading_error(const Quote& q, std::string_view before, PyObject* detail, std::string_view after,
                         Ref context = nullptr);

// The error of a level that could not be cut.
bool raise_level_failure(const Quote& q, const Level& level);

// Every failure of a reading but a SmilesError leaves as one SmilesError,
// caused by it.
void wrap_reading_failure(const Quote& q);

}  // namespace atom::smiles
