// The pool of free ids, Atom._Atom__id_pool: ids are drawn from random
// positions and given back at the end.
#pragma once

#include "python/ref.hpp"

namespace atom {

// __generate_id(): draws a free id.
Ref draw_id();

// True when the next draws run no Python code: random.randint is the standard
// generator's, checked and watched since. Otherwise each draw calls it, and
// what follows a draw must read the registry afresh.
bool standard_draws();

// Puts a drawn id back at the end of the pool, only when it lies in 1000..9999,
// is not registered and is not already free.
bool give_back_id(PyObject* id);

// Fast path of random.randint for drawing ids; set up once at initialisation.
bool init_random_fast_path(PyObject* random_module);

}  // namespace atom
