#include "output/ring_book.hpp"

#include "python/foreign.hpp"
#include "python/ints.hpp"
#include "python/state.hpp"

#include <algorithm>

namespace atom {
namespace {

// An opener compared by value through the index: an exact int that fits.
bool indexable(PyObject* o, int64_t* value) {
    if (!PyLong_CheckExact(o)) return false;
    const BigInt b = read_int(o);
    *value = b.value;
    return b.fits();
}

// "%" + str(int(label[1:]) + 1)
Ref next_percent_label(PyObject* label) {
    Ref tail = Ref::steal(PyUnicode_Substring(label, 1, PY_SSIZE_T_MAX));
    Ref number = tail ? foreign::to_int(tail.get()) : nullptr;
    Ref next = number ? foreign::add(number.get(), g.const_one) : nullptr;
    return next ? Ref::steal(PyUnicode_FromFormat("%%%S", next.get())) : nullptr;
}

// o == v with Python equality: 1, 0, or -1 with an exception set.
int equals_int(PyObject* o, long v) {
    Ref number = Ref::steal(PyLong_FromLong(v));
    return number ? foreign::compare(o, number.get(), Py_EQ) : -1;
}

bool add_label(Text& piece, PyObject* label) {
    return PyUnicode_Check(label) ? piece.add_str(label) : piece.add_plain(label);
}

}  // namespace

const char* bond_symbol(int64_t order) {
    switch (order) {
        case 1: return "";
        case 2: return "=";
        case 3: return "#";
        default: return nullptr;
    }
}

void RingBook::start_fresh() { counter_ = Ref::borrow(g.const_zero); }

bool RingBook::read_from(PyObject* val) {
    if (!PyList_Check(val)) {
        PyErr_Format(PyExc_TypeError, "the walk state of to_smiles must be a list, not '%.200s'",
                     Py_TYPE(val)->tp_name);
        return false;
    }
    external_ = Ref::borrow(val);
    if (PyList_GET_SIZE(val) > 0) counter_ = Ref::borrow(PyList_GET_ITEM(val, 0));
    // Items after the counter that are not ints are ring records.
    for (Py_ssize_t i = 1; i < PyList_GET_SIZE(val); ++i) {
        Ref item = Ref::borrow(PyList_GET_ITEM(val, i));
        if (PyLong_Check(item.get())) continue;
        Ref opener = foreign::item_at(item.get(), 0);
        if (!opener) return false;
        records_.push_back({std::move(opener), nullptr, 0, std::move(item)});
        index(static_cast<uint32_t>(records_.size() - 1));
    }
    first_new_ = records_.size();
    return true;
}

bool RingBook::write_back() {
    if (!external_) return true;
    if (counter_changed_ && !foreign::set_item_at(external_.get(), 0, counter_.get())) return false;
    for (size_t i = first_new_; i < records_.size(); ++i) {
        const Record& r = records_[i];
        Ref order = Ref::steal(PyLong_FromLongLong(r.order));
        Ref record = order ? Ref::steal(PyTuple_Pack(3, r.opener.get(), r.label.get(), order.get())) : nullptr;
        if (!record || PyList_Append(external_.get(), record.get()) < 0) return false;
    }
    return true;
}

void RingBook::index(uint32_t at) {
    int64_t id = 0;
    if (indexable(records_[at].opener.get(), &id))
        by_id_[id].push_back(at);
    else
        other_openers_.push_back(at);
}

bool RingBook::close_ring(PyObject* opener, int64_t order, Text& piece) {
    if (!counter_) {
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        return false;
    }
    if (!add_label(piece, counter_.get())) return false;
    records_.push_back({Ref::borrow(opener), counter_, order, nullptr});
    index(static_cast<uint32_t>(records_.size() - 1));
    return advance_label();
}

// 0..9, then "%10", "%11", …
bool RingBook::advance_label() {
    Ref next;
    if (PyUnicode_Check(counter_.get())) {
        next = next_percent_label(counter_.get());
    } else {
        const int is_nine = equals_int(counter_.get(), 9);
        if (is_nine < 0) return false;
        next = is_nine ? Ref::steal(PyUnicode_FromString("%10")) : foreign::add(counter_.get(), g.const_one);
    }
    if (!next) return false;
    counter_ = std::move(next);
    counter_changed_ = true;
    return true;
}

// The records whose opener equals `id`, in record order.
bool RingBook::matches(PyObject* id, std::vector<uint32_t>* found) const {
    int64_t key = 0;
    if (indexable(id, &key)) {
        auto it = by_id_.find(key);
        if (it != by_id_.end()) *found = it->second;
    }
    if (other_openers_.empty()) return true;
    for (uint32_t at : other_openers_) {
        Ref opener = records_[at].opener;
        const int eq = foreign::compare(opener.get(), id, Py_EQ);
        if (eq < 0) return false;
        if (eq) found->push_back(at);
    }
    std::sort(found->begin(), found->end());
    return true;
}

bool RingBook::add_opening(const Record& r, Text& piece) const {
    if (!r.item) {
        const char* symbol = bond_symbol(r.order);
        piece.add(symbol ? symbol : "");
        return add_label(piece, r.label.get());
    }
    Ref order = foreign::item_at(r.item.get(), 2);
    Ref label = order ? foreign::item_at(r.item.get(), 1) : nullptr;
    if (!label) return false;
    const int is_double = equals_int(order.get(), 2);
    const int is_triple = is_double == 0 ? equals_int(order.get(), 3) : 0;
    if (is_double < 0 || is_triple < 0) return false;
    piece.add(is_double ? "=" : is_triple ? "#" : "");
    return add_label(piece, label.get());
}

bool RingBook::add_openings(PyObject* id, Text& piece) {
    std::vector<uint32_t> found;
    if (!matches(id, &found)) return false;
    for (uint32_t at : found) {
        if (!add_opening(records_[at], piece)) return false;
    }
    return true;
}

}  // namespace atom
