// A type's version tag, which changes whenever an attribute of the type or of
// its bases is assigned: caches of class attributes are valid while it holds.
#pragma once

#include <Python.h>

namespace atom {

// The tag, or 0 when the type has none that can be trusted.
inline unsigned int valid_version_tag(PyTypeObject* t) {
    return (t->tp_flags & Py_TPFLAGS_VALID_VERSION_TAG) ? t->tp_version_tag : 0;
}

}  // namespace atom
