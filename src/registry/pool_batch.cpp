// Recorded draws. A draw is pool.pop(index) on a list of up to 9000 ids, which
// moves every entry after the index; a construction or a reading makes many
// draws. While a batch is open, a draw on the standard generator's fast path
// records the removal instead, and frees record their append; the list is
// compacted once ("settled") when the outermost batch closes or earlier.
//
// Why nothing can tell. The pool's contents and order only matter to Python
// code, and Python code runs during an operation only where the module calls
// into it. Every such place settles first:
//  - draws that call randint (replaced, or anything it relies on changed) and
//    every other read of the pool (registry_pool()) settle;
//  - id_map operations settle unless the map holds exact int keys only (a
//    dict watcher knows, plain_map.cpp): only a foreign key's __eq__ could run;
//  - class attributes that are not plain values, error construction (error
//    classes can be replaced or given a __setattr__), writing a foreign object
//    into a message, the accounting given arguments that are not plain, all
//    settle (python/settle_hook.hpp);
//  - code that may run Python code anywhere (the setters, a caller's ring
//    table) runs under PoolBatch::Suspend;
//  - finalizers: since CPython 3.12 an allocation only schedules a collection,
//    which runs when the interpreter next evaluates bytecode, that is inside
//    Python code, reached only after settling. The module drops the last
//    reference only to its own ints and lists while a batch records; an atom
//    that a bond uses up is still held by the reading's creation log, and
//    deleting one that may be freed settles first (atoms.cpp).
//  - re-entrant calls and other threads need Python code to run as well (the
//    GIL is released only by it). A call from Python code into the module
//    (python/settle_hook.hpp) records nothing for the operation it interrupts
//    and returns with its own draws settled. The batch depth is shared by
//    threads; as every switch happens in Python code, after settling, an
//    interleaving can only cost batching, never exactness.
// So wherever Python code can look, the list is exactly what the sequence of
// pop(index) and append(id) made so far gives. Settling also builds the
// hydrogens a reading registered without building them (phantoms.hpp).
//
// The record: the positions removed from the list as it was when recording
// began, and the appended ids, which follow every remaining original entry.
// The i-th remaining entry is found by walking the sorted removed positions
// while they are few, and by descending a Fenwick tree of removed counts once
// they are many (a long reading). Appends are recorded only while they fit in
// the room the removals made, so compacting the list never allocates and
// never fails.
#include "registry/pool_batch.hpp"
#include "python/fast_paths.hpp"

#include "python/settle_hook.hpp"
#include "registry/atoms.hpp"
#include "registry/phantoms.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

namespace atom {
namespace {

struct Record {
    Ref list;                         // the pool being recorded
    Py_ssize_t base = 0;              // its length when recording began
    size_t span = 0;                  // power of two >= base: the tree's range
    std::vector<int32_t> tree;        // 1-based; all zero unless `counted`
    bool counted = false;             // removals are counted in the tree (and unsorted)
    std::vector<Py_ssize_t> removed;  // positions taken: sorted unless `counted`
    std::vector<Ref> appended;        // freed ids, in append order
    int depth = 0;                    // open batches
    uint64_t session = 0;             // counts the records begun
};

// Never destroyed: the interpreter may finalise before static destructors run.
Record& rec = *new Record;

void tree_add(Py_ssize_t pos, int32_t delta) {
    for (size_t j = static_cast<size_t>(pos) + 1; j <= rec.span; j += j & (~j + 1)) rec.tree[j] += delta;
}

// Below this many removals a walk over them is faster than the tree.
constexpr size_t kWalkLimit = 96;

// The position of the index-th entry not yet removed (index < remaining).
Py_ssize_t nth_remaining_counted(Py_ssize_t index) {
    size_t pos = 0;
    Py_ssize_t wanted = index + 1;
    for (size_t step = rec.span; step; step >>= 1) {
        const size_t next = pos + step;
        if (next > static_cast<size_t>(rec.base)) continue;
        const Py_ssize_t remaining = static_cast<Py_ssize_t>(step) - rec.tree[next];
        if (remaining < wanted) {
            pos = next;
            wanted -= remaining;
        }
    }
    return static_cast<Py_ssize_t>(pos);
}

// Takes position `pos` out, after finding it for `index`.
Py_ssize_t remove_nth(Py_ssize_t index) {
    if (rec.counted) {
        const Py_ssize_t pos = nth_remaining_counted(index);
        rec.removed.push_back(pos);
        tree_add(pos, 1);
        return pos;
    }
    Py_ssize_t pos = index;
    auto it = rec.removed.begin();
    for (; it != rec.removed.end() && *it <= pos; ++it) ++pos;
    rec.removed.insert(it, pos);
    if (rec.removed.size() > kWalkLimit) {
        rec.counted = true;
        for (Py_ssize_t p : rec.removed) tree_add(p, 1);
    }
    return pos;
}

void begin_record(PyObject* pool) {
    rec.list = Ref::borrow(pool);
    ++rec.session;
    rec.base = PyList_GET_SIZE(pool);
    const size_t span = std::bit_ceil(static_cast<size_t>(std::max<Py_ssize_t>(rec.base, 1)));
    if (span > rec.span) {
        rec.span = span;
        rec.tree.assign(span + 1, 0);
    }
}

// Closes the gaps left by the removals, then puts the appended ids after them.
void compact() {
    PyObject** items = reinterpret_cast<PyListObject*>(rec.list.get())->ob_item;
    std::vector<Py_ssize_t>& gaps = rec.removed;
    if (rec.counted) {
        for (Py_ssize_t pos : gaps) tree_add(pos, -1);
        std::sort(gaps.begin(), gaps.end());
        rec.counted = false;
    }
    Py_ssize_t write = gaps.empty() ? rec.base : gaps.front();
    for (size_t k = 0; k < gaps.size(); ++k) {
        const Py_ssize_t from = gaps[k] + 1;
        const Py_ssize_t to = k + 1 < gaps.size() ? gaps[k + 1] : rec.base;
        std::memmove(items + write, items + from, static_cast<size_t>(to - from) * sizeof(PyObject*));
        write += to - from;
    }
    for (Ref& id : rec.appended) items[write++] = id.release();  // the record's references pass to the list
    Py_SET_SIZE(rec.list.get(), write);
    gaps.clear();
    rec.appended.clear();
}

}  // namespace

PoolBatch::PoolBatch() { ++rec.depth; }

PoolBatch::~PoolBatch() {
    if (--rec.depth == 0) settle_pool();
}

PoolBatch::Suspend::Suspend() : saved_depth_(rec.depth) {
    settle_before_python();
    rec.depth = 0;
}

PoolBatch::Suspend::~Suspend() { rec.depth = saved_depth_; }

int enter_from_python() {
    settle_before_python();  // Python code is running: the interrupted operation goes on afresh
    const int depth = rec.depth;
    rec.depth = 0;
    return depth;
}

void leave_to_python(int saved) {
    settle_pool();  // nothing to do: the call's own batches have settled as they closed
    rec.depth = saved;
}

namespace {

bool settling = false;

// What goes with its last reference without running Python code: plain
// values (python/ref.hpp), exact lists, tuples and dicts of them, and atoms of
// the class itself (without a finalizer) whose slots hold only such values.
[[gnu::always_inline]] inline bool quiet_sequence(PyObject* o) {
    PyObject** items = PySequence_Fast_ITEMS(o);
    for (Py_ssize_t i = 0, n = PySequence_Fast_GET_SIZE(o); i < n; ++i)
        if (!quiet_value(items[i])) return false;
    return true;
}

[[gnu::noinline]] bool quiet_dict(PyObject* o) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(o, &pos, &key, &value))
        if (!quiet_value(key) || !quiet_value(value)) return false;
    return true;
}

[[gnu::always_inline]] inline bool quiet_container(PyObject* o) {
    if (quiet_value(o)) return true;
    if (PyList_CheckExact(o) || PyTuple_CheckExact(o)) return quiet_sequence(o);
    return PyDict_CheckExact(o) && quiet_dict(o);
}

// Each slot's value is first tested against the type the module stores there
// (one comparison for most slots), then against the whole rule.
[[gnu::always_inline]] inline bool quiet_slot(PyObject* v, PyTypeObject* usual) {
    if (Py_IS_TYPE(v, usual)) return usual != &PyList_Type || quiet_sequence(v);
    return quiet_container(v);
}

[[gnu::always_inline]] inline bool quiet_atom(PyObject* o) {
    if (g.atom_type->tp_finalize || g.atom_type->tp_del) return false;
    static_assert(kSlotCount == 6, "one usual type per slot");
    static PyTypeObject* const usual[kSlotCount] = {&PyBool_Type,    &PyList_Type, &PyLong_Type,
                                                    &PyUnicode_Type, &PyLong_Type, &PyLong_Type};
    for (int s = 0; s < kSlotCount; ++s) {
        PyObject* v = *slot_ptr(o, static_cast<Slot>(s));
        if (v && !quiet_slot(v, usual[s])) return false;
    }
    return true;
}

}  // namespace

bool quiet_release(PyObject* o) { return is_exact_atom(o) ? quiet_atom(o) : quiet_container(o); }

bool pool_unsettled() { return rec.list || has_unbuilt_hydrogens(); }

void settle_before_release(PyObject* o) {
    if (quiet_release(o)) return;
    ++foreign_epoch;
    if (!settling && pool_unsettled()) settle_pool();
}

void settle_pool() {
    if (settling) return;  // what settling itself releases is the module's own ints and lists
    if (!pool_unsettled()) return;
    settling = true;
    build_all_hydrogens();
    if (rec.list) {
        compact();
        rec.list.reset();  // the class still holds it: only Python code could have replaced it
    }
    settling = false;
}

uint64_t record_session() { return rec.list ? rec.session : 0; }

bool recording_pool() { return rec.depth > 0; }

bool recording_draws(PyObject* pool) {
    if (rec.depth == 0 || !PyList_CheckExact(pool) || !fast_path(FastPath::RecordedDraws)) return false;
    if (rec.list.get() == pool) return true;
    settle_pool();
    begin_record(pool);
    return true;
}

Py_ssize_t recorded_pool_size(PyObject* pool) {
    if (rec.list.get() != pool) return PyList_GET_SIZE(pool);
    return rec.base - static_cast<Py_ssize_t>(rec.removed.size()) + static_cast<Py_ssize_t>(rec.appended.size());
}

Ref record_pop(PyObject* pool, Py_ssize_t index) {
    (void)pool;
    const Py_ssize_t remaining = rec.base - static_cast<Py_ssize_t>(rec.removed.size());
    if (index >= remaining) {
        const auto at = rec.appended.begin() + (index - remaining);
        Ref id = std::move(*at);
        rec.appended.erase(at);
        return id;
    }
    const Py_ssize_t pos = remove_nth(index);
    // The list's reference passes to the caller; compacting overwrites the slot.
    return Ref::steal(reinterpret_cast<PyListObject*>(pool)->ob_item[pos]);
}

bool record_append(PyObject* pool, PyObject* id) {
    if (rec.depth == 0 || rec.list.get() != pool || rec.appended.size() >= rec.removed.size()) return false;
    rec.appended.push_back(Ref::borrow(id));
    return true;
}

}  // namespace atom
