// The ring part of a SMILES walk state: the next label and the ring records
// (opener, label, bond order), kept indexed by the opener's id so that each
// atom finds the rings it opens without scanning every record.
#pragma once

#include "python/ref.hpp"
#include "python/text.hpp"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace atom {

class RingBook {
public:
    // A fresh state, as the list [0].
    void start_fresh();
    // The state a Python caller handed in: its counter and the records already
    // in it. The list gets the counter and the new records back (write_back).
    bool read_from(PyObject* val);
    bool write_back();

    // Closes a ring at the current atom: appends the label's text to `piece`,
    // records (opener, label, order) and advances the label.
    bool close_ring(PyObject* opener, int64_t order, Text& piece);
    // Appends "=0", "#%12", "3"… for every recorded ring that `id` opens, in
    // the order the rings were found.
    bool add_openings(PyObject* id, Text& piece);
    bool has_records() const { return !records_.empty(); }

private:
    struct Record {
        Ref opener;  // as the closing atom's bond list names it
        Ref label;
        int64_t order = 0;
        Ref item;  // a record read from a caller's list: label and order are read from it
    };

    void index(uint32_t at);
    bool matches(PyObject* id, std::vector<uint32_t>* found) const;
    bool add_opening(const Record& r, Text& piece) const;
    bool advance_label();

    Ref counter_;  // null: the caller's list was empty
    bool counter_changed_ = false;
    std::vector<Record> records_;
    size_t first_new_ = 0;
    std::unordered_map<int64_t, std::vector<uint32_t>> by_id_;
    std::vector<uint32_t> other_openers_;  // openers that are not machine-sized ints
    Ref external_;
};

// The mark written before a label or an atom for a bond of this order ("",
// "=", "#"), or null for an order the notation does not have.
const char* bond_symbol(int64_t order);

}  // namespace atom
