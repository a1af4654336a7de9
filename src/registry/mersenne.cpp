#include "registry/mersenne.hpp"
#include "python/fast_paths.hpp"
#include "python/foreign.hpp"

#include <cstring>

namespace atom {
namespace {

constexpr int kWords = 624;
constexpr int kShift = 397;

struct GeneratorState {
    int index;  // of the next word; kWords once all are used
    uint32_t words[kWords];
};

bool layout_confirmed = false;

GeneratorState* state_of(PyObject* generator) {
    return reinterpret_cast<GeneratorState*>(reinterpret_cast<char*>(generator) + sizeof(PyObject));
}

void regenerate(uint32_t* mt) {
    constexpr uint32_t kMatrix = 0x9908b0dfU, kUpper = 0x80000000U, kLower = 0x7fffffffU;
    auto mixed = [&](int at, int next, int from) {
        const uint32_t y = (mt[at] & kUpper) | (mt[next] & kLower);
        mt[at] = mt[from] ^ (y >> 1) ^ ((y & 1U) ? kMatrix : 0U);
    };
    int kk = 0;
    for (; kk < kWords - kShift; ++kk) mixed(kk, kk + 1, kk + kShift);
    for (; kk < kWords - 1; ++kk) mixed(kk, kk + 1, kk + kShift - kWords);
    mixed(kWords - 1, 0, kShift - 1);
}

uint32_t next_word(GeneratorState* s) {
    if (s->index >= kWords) {
        regenerate(s->words);
        s->index = 0;
    }
    uint32_t y = s->words[s->index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680U;
    y ^= (y << 15) & 0xefc60000U;
    y ^= y >> 18;
    return y;
}

// The generator's memory holds what getstate() reports: the 624 words, then the index.
bool memory_matches_getstate(PyObject* generator) {
    Ref state = foreign::call_method(generator, "getstate", nullptr);
    if (!state || !PyTuple_Check(state.get()) || PyTuple_GET_SIZE(state.get()) < 2) return false;
    PyObject* internal = PyTuple_GET_ITEM(state.get(), 1);
    if (!PyTuple_Check(internal) || PyTuple_GET_SIZE(internal) != kWords + 1) return false;
    const GeneratorState* s = state_of(generator);
    for (int i = 0; i <= kWords; ++i) {
        const unsigned long v = PyLong_AsUnsignedLong(PyTuple_GET_ITEM(internal, i));
        if (PyErr_Occurred()) return false;
        if (v != (i < kWords ? s->words[i] : static_cast<unsigned long>(s->index))) return false;
    }
    return true;
}

// Words drawn here from a copy of the state equal getrandbits(32) on the generator.
bool steps_match_getrandbits(PyObject* generator) {
    GeneratorState copy = *state_of(generator);
    for (int i = 0; i < 1300; ++i) {
        Ref bits = foreign::call_method(generator, "getrandbits", "i", 32);
        if (!bits) return false;
        const unsigned long v = PyLong_AsUnsignedLong(bits.get());
        if (PyErr_Occurred() || v != next_word(&copy)) return false;
    }
    const GeneratorState* s = state_of(generator);
    return copy.index == s->index && std::memcmp(copy.words, s->words, sizeof copy.words) == 0;
}

}  // namespace

bool confirm_generator_layout(PyTypeObject* type) {
    layout_confirmed = false;
#ifdef Py_GIL_DISABLED
    return false;  // without the GIL the generator guards its state with a lock of its own
#endif
    if (type->tp_basicsize < static_cast<Py_ssize_t>(sizeof(PyObject) + sizeof(GeneratorState))) return false;
    Ref generator = foreign::call_function(reinterpret_cast<PyObject*>(type), "i", 20240601);
    layout_confirmed = generator && Py_IS_TYPE(generator.get(), type) && memory_matches_getstate(generator.get()) &&
                       steps_match_getrandbits(generator.get()) && memory_matches_getstate(generator.get());
    PyErr_Clear();
    return layout_confirmed;
}

bool next_generator_word(PyObject* generator, uint32_t* word) {
    if (!layout_confirmed || !fast_path(FastPath::GeneratorWords)) return false;
    GeneratorState* s = state_of(generator);
    if (s->index < 0 || s->index > kWords) return false;
    *word = next_word(s);
    return true;
}

}  // namespace atom
