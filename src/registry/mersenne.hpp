// The shared generator's words, drawn in place. random.Random keeps a
// Mersenne Twister (MT19937) in its C object, right after the object header:
// the index of the next word, then the 624 words. getrandbits(k) for k <= 32
// is the next word shifted right by 32 - k, returned as a new int. Drawing
// the word here, from the same state and with the same steps, consumes the
// generator exactly as that call does, without the call, the argument
// parsing and the int made and freed at every draw.
//
// Nothing here is assumed: at initialisation a generator of the same type is
// seeded and its state read back through getstate() and compared with the
// memory it is read from here, then 1,300 words (past two regenerations of
// the state) are drawn both ways and compared. Any difference, and the draws
// keep calling getrandbits.
#pragma once

#include "python/ref.hpp"

#include <cstdint>

namespace atom {

// Checks the layout and the steps on a fresh generator of `type` (runs Python
// code); false, with no error set, when they are not as described above.
bool confirm_generator_layout(PyTypeObject* type);

// The next word of `generator`, an instance of the type confirmed, into
// *word; false when the layout was not confirmed or the stored index is not
// one the generator itself would hold (then call getrandbits).
bool next_generator_word(PyObject* generator, uint32_t* word);

}  // namespace atom
