// Drawing ids: pool.pop(random.randint(0, len(pool) - 1)), with `random`
// looked up on the module and `randint` on it at every draw.
//
// While random.randint is the standard bound method of the shared generator and
// nothing it relies on has been replaced, the index is drawn the way randint
// itself draws it (getrandbits(k) until the value is below the bound), which
// consumes the generator identically; anything patched takes the plain call.
// getrandbits itself is not called when its words can be drawn in place
// (mersenne.hpp).
// Once that has been checked, dict and type watchers on everything the check
// read (this module's dict, random's dict, the generator's dict and class)
// keep the answer until one of them changes.
#include "registry/ids.hpp"
#include "registry/id_range.hpp"
#include "python/fast_paths.hpp"

#include "python/dict_watch.hpp"
#include "python/errors.hpp"
#include "python/foreign.hpp"
#include "python/function.hpp"
#include "python/type_tag.hpp"
#include "registry/atoms.hpp"
#include "registry/mersenne.hpp"
#include "registry/pool_batch.hpp"

#include <cstring>

namespace atom {
namespace {

struct RandomFastPath {
    bool usable = false;
    PyObject* module = nullptr;       // the random module at initialisation
    PyObject* randint = nullptr;      // random.randint, a bound method of `instance`
    PyObject* instance = nullptr;     // random._inst
    PyTypeObject* type = nullptr;     // random.Random
    PyObject* f_randint = nullptr;    // Random.randint
    PyObject* f_randrange = nullptr;  // Random.randrange
    PyObject* f_randbelow = nullptr;  // Random._randbelow
    PyObject* getrandbits = nullptr;  // the getrandbits method descriptor
    PyCFunction getrandbits_fn = nullptr;  // its C function (METH_O)
    PyObject* code_randint = nullptr;
    PyObject* code_randrange = nullptr;
    PyObject* code_randbelow = nullptr;
    PyObject* defaults_randrange = nullptr;
    PyObject* index_fn = nullptr;  // random._index
    unsigned int checked_tag = 0;  // version tag of `type` when its attributes were last found intact
    // Watching: `verified` holds while nothing watched has changed since the
    // last full check found the fast path intact.
    bool watching = false;
    bool verified = false;
    PyObject* watched_instance_dict = nullptr;
};

RandomFastPath R;

int on_dict_change(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) {
    R.verified = false;
    return 0;
}

int on_type_change(PyTypeObject*) {
    R.verified = false;
    return 0;
}

PyObject* instance_dict() {
    PyObject** ptr = _PyObject_GetDictPtr(R.instance);
    return ptr ? *ptr : nullptr;
}

DictFollower& follower = *new DictFollower(on_dict_change);

bool watch_dict(PyObject* d) { return d && follower.follow(d); }

// Registers the watchers; without them every draw makes the full check.
void start_watching(PyObject* random_module) {
    static const int type_watcher = PyType_AddWatcher(on_type_change);  // one for the process
    PyObject* dict = instance_dict();
    R.watching = type_watcher >= 0 && watch_dict(PyModule_GetDict(g.module)) &&
                 watch_dict(PyModule_GetDict(random_module)) && watch_dict(dict) &&
                 PyType_Watch(type_watcher, reinterpret_cast<PyObject*>(R.type)) == 0;
    if (R.watching) R.watched_instance_dict = Py_NewRef(dict);
    PyErr_Clear();
}

// The code and defaults of the Python functions on the way (assignable without
// touching any dict).
bool functions_intact() {
    return PyFunction_GET_CODE(R.f_randint) == R.code_randint &&
           PyFunction_GET_CODE(R.f_randrange) == R.code_randrange &&
           PyFunction_GET_CODE(R.f_randbelow) == R.code_randbelow &&
           PyFunction_GET_DEFAULTS(R.f_randrange) == R.defaults_randrange;
}

// What the watchers cannot see: the generator's class and dict being swapped,
// a plain module becoming something else, function code or defaults replaced.
bool unwatched_parts_intact() {
    return Py_IS_TYPE(R.instance, R.type) && Py_IS_TYPE(R.module, &PyModule_Type) &&
           instance_dict() == R.watched_instance_dict && functions_intact();
}

PyObject* keep(PyObject* o) { return Py_XNewRef(o); }  // references kept for the process

bool plain_function(PyObject* f) { return f && PyFunction_Check(f); }

// The class attributes randint reaches; skipped while the class's version tag
// shows that nothing was assigned on it (or its bases) since the last check.
bool class_intact() {
    const unsigned int tag = valid_version_tag(R.type);
    if (tag && tag == R.checked_tag) return true;
    if (_PyType_Lookup(R.type, g.names.randint) != R.f_randint ||
        _PyType_Lookup(R.type, g.names.randrange) != R.f_randrange ||
        _PyType_Lookup(R.type, g.names.randbelow) != R.f_randbelow ||
        _PyType_Lookup(R.type, g.names.getrandbits) != R.getrandbits)
        return false;
    R.checked_tag = valid_version_tag(R.type);
    return true;
}

// Everything randint reads on the way to getrandbits is still what it was.
bool fast_path_intact() {
    if (!Py_IS_TYPE(R.instance, R.type) || !class_intact() || !functions_intact()) return false;
    PyObject* module_dict = PyModule_GetDict(R.module);
    if (PyDict_GetItemWithError(module_dict, g.names.index) != R.index_fn) {
        PyErr_Clear();  // a lookup that failed finds nothing standard either
        return false;
    }
    PyObject** dict_ptr = _PyObject_GetDictPtr(R.instance);
    if (!dict_ptr || !*dict_ptr) return !PyErr_Occurred();
    for (PyObject* name : {g.names.randrange, g.names.randbelow, g.names.getrandbits}) {
        if (PyDict_GetItemWithError(*dict_ptr, name)) return false;
        if (PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
    }
    return true;
}

// randint(0, n - 1) as the standard generator computes it: n > 0.
bool fast_index(Py_ssize_t n, Py_ssize_t* out) {
    int k = 0;
    for (size_t v = static_cast<size_t>(n); v; v >>= 1) ++k;
    uint32_t word = 0;
    while (k <= 32 && next_generator_word(R.instance, &word)) {  // getrandbits(k) without the call
        const Py_ssize_t v = static_cast<Py_ssize_t>(word >> (32 - k));
        if (v < n) {
            *out = v;
            return true;
        }
    }
    Ref bits = Ref::steal(PyLong_FromLong(k));
    if (!bits) return false;
    for (;;) {
        Ref r = Ref::steal(R.getrandbits_fn(R.instance, bits.get()));
        if (!r) return false;
        const Py_ssize_t v = PyLong_AsSsize_t(r.get());
        if (v == -1 && PyErr_Occurred()) return false;
        if (v < n) {
            *out = v;
            return true;
        }
    }
}

// The entry at `index` of the pool, removed as list.pop removes it: the
// entries after it move down by one (the list keeps its allocation).
Ref pop_at(PyObject* pool, Py_ssize_t index) {
    PyObject** items = reinterpret_cast<PyListObject*>(pool)->ob_item;
    const Py_ssize_t n = PyList_GET_SIZE(pool);
    Ref item = Ref::steal(items[index]);  // the pool's reference passes to the caller
    std::memmove(items + index, items + index + 1, static_cast<size_t>(n - index - 1) * sizeof(PyObject*));
    Py_SET_SIZE(pool, n - 1);
    return item;
}

}  // namespace

bool init_random_fast_path(PyObject* random_module) {
    R = RandomFastPath{};
    R.module = keep(random_module);
    PyObject* module_dict = PyModule_GetDict(random_module);
    PyObject* randint = PyDict_GetItemWithError(module_dict, g.names.randint);
    PyObject* instance = PyDict_GetItemString(module_dict, "_inst");
    PyObject* index_fn = PyDict_GetItemWithError(module_dict, g.names.index);
    if (PyErr_Occurred()) return false;
    if (!randint || !instance || !index_fn || !PyMethod_Check(randint) || PyMethod_GET_SELF(randint) != instance)
        return true;  // an unusual random module: always take the plain call
    PyTypeObject* type = Py_TYPE(instance);
    PyObject* f_randint = _PyType_Lookup(type, g.names.randint);
    PyObject* f_randrange = _PyType_Lookup(type, g.names.randrange);
    PyObject* f_randbelow = _PyType_Lookup(type, g.names.randbelow);
    PyObject* getrandbits = _PyType_Lookup(type, g.names.getrandbits);
    PyObject* by_bits = PyDict_GetItemString(type->tp_dict, "_randbelow_with_getrandbits");
    if (!plain_function(f_randint) || !plain_function(f_randrange) || !plain_function(f_randbelow) ||
        f_randbelow != by_bits || PyMethod_GET_FUNCTION(randint) != f_randint || !getrandbits ||
        !Py_IS_TYPE(getrandbits, &PyMethodDescr_Type) ||
        reinterpret_cast<PyMethodDescrObject*>(getrandbits)->d_method->ml_flags != METH_O)
        return true;
    R.getrandbits_fn = reinterpret_cast<PyMethodDescrObject*>(getrandbits)->d_method->ml_meth;
    R.randint = keep(randint);
    R.instance = keep(instance);
    R.type = reinterpret_cast<PyTypeObject*>(keep(reinterpret_cast<PyObject*>(type)));
    R.f_randint = keep(f_randint);
    R.f_randrange = keep(f_randrange);
    R.f_randbelow = keep(f_randbelow);
    R.getrandbits = keep(getrandbits);
    R.code_randint = keep(PyFunction_GET_CODE(f_randint));
    R.code_randrange = keep(PyFunction_GET_CODE(f_randrange));
    R.code_randbelow = keep(PyFunction_GET_CODE(f_randbelow));
    R.defaults_randrange = keep(PyFunction_GET_DEFAULTS(f_randrange));
    R.index_fn = keep(index_fn);
    R.usable = true;
    confirm_generator_layout(type);
    start_watching(random_module);
    return true;
}

namespace {

// pool.pop(random.randint(0, len(pool) - 1)), whatever the entry holds.
Ref pop_random_entry() {
    Ref pool = recorded_registry_pool();
    if (!pool) return nullptr;
    // A list subclass may have a pop of its own: only a plain list is popped in place.
    const bool plain_pool = PyList_CheckExact(pool.get());
    if (plain_pool && standard_draws() && recording_draws(pool.get())) {
        // Nothing on this path runs Python code: the draw is recorded.
        const Py_ssize_t n = recorded_pool_size(pool.get());
        if (n > 0) {
            Py_ssize_t index = 0;
            if (!fast_index(n, &index)) return nullptr;
            return record_pop(pool.get(), index);
        }
    }
    settle_pool();
    if (PyList_GET_SIZE(pool.get()) == 0) {
        raise_error(ErrorKind::Id,
                    Text("[Id Pool Runs Out] Failed to generate a new id. You can only register 9000 atoms at "
                         "the same time."),
                    nullptr);
        return nullptr;
    }
    const Py_ssize_t n = PyList_GET_SIZE(pool.get());
    if (plain_pool && standard_draws()) {
        Py_ssize_t index = 0;
        if (!fast_index(n, &index)) return nullptr;
        return pop_at(pool.get(), index);
    }
    Ref random_module = Ref::borrow(PyDict_GetItemWithError(PyModule_GetDict(g.module), g.names.random));
    if (!random_module) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_NameError, "name 'random' is not defined");
        return nullptr;
    }
    Ref randint;
    if (Py_IS_TYPE(random_module.get(), &PyModule_Type)) {
        // A plain module's attributes are its dict entries.
        randint = Ref::borrow(PyDict_GetItemWithError(PyModule_GetDict(random_module.get()), g.names.randint));
        if (!randint && !PyErr_Occurred())
            PyErr_SetString(PyExc_AttributeError, "module 'random' has no attribute 'randint'");
    } else {
        randint = foreign::get_attr(random_module.get(), g.names.randint);
    }
    if (!randint) return nullptr;
    if (plain_pool && R.usable && random_module.get() == R.module && randint.get() == R.randint &&
        fast_path_intact() && fast_path(FastPath::StandardDraws)) {
        R.verified = R.watching && valid_version_tag(R.type) && unwatched_parts_intact();
        Py_ssize_t index = 0;
        if (!fast_index(n, &index)) return nullptr;
        return pop_at(pool.get(), index);
    }
    Ref high = Ref::steal(PyLong_FromSsize_t(n - 1));
    if (!high) return nullptr;
    PyObject* args[2] = {g.const_zero, high.get()};
    Ref index = foreign::vectorcall(randint.get(), args, 2);
    if (!index) return nullptr;
    return foreign::call_method(pool.get(), g.names.pop, index.get());
}

}  // namespace

bool standard_draws() { return R.verified && unwatched_parts_intact() && fast_path(FastPath::StandardDraws); }

Ref draw_id() {
    Ref id = pop_random_entry();
    // The entry is consumed either way; only an int (or None) is an id.
    if (id && !check_result_type(id.get(), Result::Int)) return nullptr;
    return id;
}

bool give_back_id(PyObject* id) {
    if (!PyLong_CheckExact(id)) return true;
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(id, &overflow);
    if (overflow || !is_id_value(v)) return true;
    Ref map = registry_map();
    if (!map) return false;
    const int registered = PyDict_Contains(map.get(), id);
    if (registered < 0) return false;
    if (registered) return true;
    Ref pool = registry_pool();
    if (!pool) return false;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(pool.get()); ++i) {
        PyObject* item = PyList_GET_ITEM(pool.get(), i);
        if (item == id) return true;
        if (PyLong_CheckExact(item)) {
            long long w = PyLong_AsLongLongAndOverflow(item, &overflow);
            if (!overflow && w == v) return true;
            continue;
        }
        Ref held = Ref::borrow(item);
        const int eq = foreign::compare(held.get(), id, Py_EQ);
        if (eq < 0) return false;
        if (eq) return true;
    }
    return PyList_Append(pool.get(), id) == 0;
}

}  // namespace atom
