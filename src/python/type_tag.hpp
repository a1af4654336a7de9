// A type's version tag, which changes whenever an attribute of the type or of
// its bases is assigned: caches of class attributes are valid while it holds.
#pragma once

#include <Python.h>

namespace atom {

// The tag, or 0 when the type has none that can be trusted. Up to 3.12 a flag
// says whether the tag is valid; from 3.13 on the flag is no longer kept and
// an invalid tag is 0 (as it is in 3.12 too).
inline unsigned int valid_version_tag(PyTypeObject* t) {
#if PY_VERSION_HEX >= 0x030D0000
    return t->tp_version_tag;
#else
    return (t->tp_flags & Py_TPFLAGS_VALID_VERSION_TAG) ? t->tp_version_tag : 0;
#endif
}

}  // namespace atom
