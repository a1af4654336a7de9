// Building str results and messages from pieces.
#pragma once

#include "python/ref.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace atom {

// Accumulates UTF-8 text and turns it into a str at the end. Python str pieces
// are encoded with "surrogatepass", so any str round-trips unchanged.
class Text {
public:
    Text() = default;
    explicit Text(std::string_view s) : buf_(s) {}

    Text& add(std::string_view s) {
        buf_.append(s);
        return *this;
    }
    Text& add(char c) {
        buf_.push_back(c);
        return *this;
    }
    Text& add_int(int64_t v);
    // Appends a str object; false (exception set) if it is not a str.
    bool add_str(PyObject* s);
    // Appends str(obj), the plain text form; false on failure.
    bool add_plain(PyObject* obj);
    // Appends repr(obj); false on failure.
    bool add_repr(PyObject* obj);

    const std::string& bytes() const { return buf_; }
    std::string& bytes() { return buf_; }
    size_t size() const { return buf_.size(); }

    Ref to_str() const;

private:
    std::string buf_;
};

// Opens a message with its tag, "[{label} {value}] " (the value in its plain
// text form); false when str(value) fails.
bool add_tag(Text& m, std::string_view label, PyObject* value);
// "[Atom {id}] ", the tag of every error an atom raises about itself.
inline bool add_atom_tag(Text& m, PyObject* id) { return add_tag(m, "Atom", id); }

// A str of text known to be ASCII, made without decoding.
Ref ascii_str(std::string_view text);

// Replaces every occurrence of `from` by `to`, left to right, like str.replace.
void replace_all(std::string& s, std::string_view from, std::string_view to);

}  // namespace atom
