// The signature table that drives argument binding and the function objects.
#pragma once

#include <Python.h>

#include <cstdint>

namespace atom {

constexpr int kMaxParams = 8;  // self/cls included

// Type rule applied at binding time (parameters annotated "str" or "int").
enum class Rule : uint8_t { Any, Str, Int };
// Result rule of the getters annotated "int" or "str".
enum class Result : uint8_t { Any, Int, Str };
// Default value of a parameter.
enum class Def : uint8_t { Required, None, True, False, Zero, Text };
enum class Kind : uint8_t { Instance, Class };

struct Param {
    const char* name;
    const char* annotation;  // nullptr: none
    Rule rule = Rule::Any;
    Def def = Def::Required;
    const char* text = nullptr;  // the default str for Def::Text
};

// The bound arguments: a[0] is self or cls, a[1..] the parameters in order.
using Impl = PyObject* (*)(PyObject* const* a);

struct MethodSpec {
    const char* name;      // "bond_with"
    const char* owner;     // "Atom": the qualname is owner + "." + name
    Kind kind;
    Param params[kMaxParams];  // params[0] is self or cls
    int count;                 // number of params, self/cls included
    const char* returns;       // return annotation, nullptr: none
    Result result;
    const char* doc;  // nullptr: no docstring
    Impl impl;
};

}  // namespace atom
