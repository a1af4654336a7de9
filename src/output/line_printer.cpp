#include "output/line_printer.hpp"

#include "output/display.hpp"
#include "python/foreign.hpp"
#include "python/text.hpp"
#include "registry/atoms.hpp"
#include "registry/tags.hpp"

#include <cstring>
#include <utility>
#include <new>

namespace atom {
namespace {

// Interned names, made once and kept for the process.
PyObject* interned(const char* text) {
    PyObject* s = PyUnicode_InternFromString(text);
    if (!s) PyErr_Clear();
    return s;
}

PyObject* print_from_builtins() {
    return PyDict_GetItemWithError(PyModule_GetDict(g.builtins), g.names.print);
}

// The interpreter's own print: the builtin function of the builtins module.
bool is_own_print(PyObject* p) {
    return p && PyCFunction_CheckExact(p) && PyCFunction_GET_SELF(p) == g.builtins &&
           std::strcmp(reinterpret_cast<PyCFunctionObject*>(p)->m_ml->ml_name, "print") == 0;
}

// The io module's own stream types, read once; empty when they cannot be.
struct StreamTypes {
    Ref text_wrapper, string_io, buffered_writer, buffered_random, file_io, bytes_io;
    StreamTypes() {
        Ref io = Ref::steal(PyImport_ImportModule("_io"));
        const std::pair<Ref*, const char*> wanted[] = {
            {&text_wrapper, "TextIOWrapper"},      {&string_io, "StringIO"}, {&buffered_writer, "BufferedWriter"},
            {&buffered_random, "BufferedRandom"}, {&file_io, "FileIO"},     {&bytes_io, "BytesIO"}};
        for (const auto& [slot, name] : wanted)
            if (io) *slot = foreign::get_attr(io.get(), name);
        if (PyErr_Occurred()) {
            PyErr_Clear();
            text_wrapper.reset();
        }
    }
};

const StreamTypes& stream_types() {
    // Never destroyed: its references outlive the interpreter. Made under the
    // interpreter's lock, without a static guard that a thread waiting for the
    // lock could hold.
    static const StreamTypes* types = nullptr;
    if (!types) types = new StreamTypes;
    return *types;
}

bool is_type(PyObject* o, const Ref& type) { return type && reinterpret_cast<PyObject*>(Py_TYPE(o)) == type.get(); }

// The object `owner` holds in its attribute `name` (a plain member of the io
// types, named by an interned str), or null.
Ref member(PyObject* owner, PyObject* name) {
    Ref v = name ? foreign::get_attr(owner, name) : nullptr;
    if (!v) PyErr_Clear();
    return v;
}

// Exactly an io.StringIO, or an io.TextIOWrapper over the io module's own
// buffered file or bytes buffer: streams whose `closed` and `write` run no
// Python code before the bytes reach the file.
bool is_plain_text_stream(PyObject* out) {
    const StreamTypes& t = stream_types();
    if (!t.text_wrapper) return false;
    if (is_type(out, t.string_io)) return true;
    if (!is_type(out, t.text_wrapper)) return false;
    static PyObject* buffer_name = interned("buffer");
    static PyObject* raw_name = interned("raw");
    Ref buffer = member(out, buffer_name);
    if (buffer && is_type(buffer.get(), t.bytes_io)) return true;
    if (!buffer || !(is_type(buffer.get(), t.buffered_writer) || is_type(buffer.get(), t.buffered_random)))
        return false;
    Ref raw = member(buffer.get(), raw_name);
    return raw && is_type(raw.get(), t.file_io);
}

// A stream that is open accepts a write: a closed one would fail at the first
// line, before the walk goes on.
bool is_open(PyObject* out) {
    static PyObject* closed = interned("closed");
    Ref flag = closed ? foreign::get_attr(out, closed) : nullptr;
    if (!flag) PyErr_Clear();
    return flag.get() == Py_False;
}

// sys.stdout, read from the sys module's dict as print reads it.
Ref current_stdout() {
    static PyObject* name = interned("stdout");
    static PyObject* sys_dict = nullptr;  // the interpreter's, for the process
    if (!sys_dict) {
        Ref sys = Ref::steal(PyImport_ImportModule("sys"));
        sys_dict = sys ? PyModule_GetDict(sys.get()) : nullptr;  // the module lives as long
    }
    Ref out = Ref::borrow(sys_dict && name ? PyDict_GetItemWithError(sys_dict, name) : nullptr);
    if (!out) PyErr_Clear();
    return out;
}

}  // namespace

bool print_atom(PyObject* atom) {
    PyObject* globals = PyModule_GetDict(g.module);
    Ref print = Ref::borrow(globals ? PyDict_GetItemWithError(globals, g.names.print) : nullptr);
    if (!print) {
        if (PyErr_Occurred()) return false;
        // The builtins' own dict, as a name lookup reads it.
        print = Ref::borrow(print_from_builtins());
        if (!print) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_NameError, "name 'print' is not defined");
            return false;
        }
    }
    return static_cast<bool>(foreign::call_one(print.get(), atom));
}

// Whether print(atom) would be the interpreter's print writing to a plain
// text stream, from now until Python code next runs. A print of the module's
// own (the cheapest check, made per line while it stays) rules it out; of the
// stream's checks, reading `closed` is the one that calls a method, in C for
// the plain streams only.
bool LinePrinter::can_keep() {
    if (!may_keep_) return false;
    PyObject* globals = PyModule_GetDict(g.module);
    if (!globals || PyDict_GetItemWithError(globals, g.names.print) || PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    Ref out = current_stdout();
    if (!out || !is_plain_text_stream(out.get()) || !is_open(out.get())) return false;
    PyObject* print = print_from_builtins();
    if (!is_own_print(print)) {
        PyErr_Clear();
        return false;
    }
    map_ = plain_registry();
    if (!map_ || out != current_stdout()) return false;
    out_ = std::move(out);
    return true;
}

bool LinePrinter::print(PyObject* atom) {
    if (keeping() || can_keep()) {
        // print would call str(atom): the module's slot gives this very text.
        if (Py_TYPE(atom)->tp_str == display_slot && add_plain_display(atom, map_.get(), pending_)) {
            pending_ += '\n';
            return true;
        }
        if (!flush()) return false;
    }
    return print_atom(atom);
}

bool LinePrinter::flush() {
    if (pending_.empty()) return true;
    static PyObject* write = interned("write");
    Ref text = ascii_str(pending_);
    pending_.clear();
    Ref out = std::move(out_);
    map_.reset();
    if (!write) PyErr_NoMemory();
    if (!text || !write) return false;
    return static_cast<bool>(foreign::call_method(out.get(), write, text.get()));
}

}  // namespace atom
