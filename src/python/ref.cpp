#include "python/ref.hpp"

namespace atom {

void release_last(PyObject* p) noexcept {
    if (last_release_hook && !quiet_value(p)) last_release_hook(p);
    Py_DECREF(p);
}

}  // namespace atom
