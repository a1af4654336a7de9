#include "valence/accounting.hpp"

#include "python/foreign.hpp"
#include "python/ints.hpp"
#include "python/errors.hpp"
#include "python/function.hpp"
#include "registry/atoms.hpp"
#include "registry/ids.hpp"
#include "registry/element_table.hpp"
#include "valence/entry_count.hpp"
#include "registry/pool_batch.hpp"
#include "valence/python_free.hpp"

#include <algorithm>
#include <vector>

namespace atom {
namespace {

using Wide = __int128;

// --- messages ------------------------------------------------------------------

bool fail_returning_id(ErrorKind kind, Text& m, PyObject* id) {
    if (!give_back_id(id)) return false;
    return raise_error(kind, m, id);
}

void add_wide(Text& m, Wide v) {
    if (v >= INT64_MIN && v <= INT64_MAX) {
        m.add_int(static_cast<int64_t>(v));
        return;
    }
    char tmp[48];
    int i = sizeof tmp;
    const bool neg = v < 0;
    unsigned __int128 u = neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    do {
        tmp[--i] = static_cast<char>('0' + static_cast<int>(u % 10));
        u /= 10;
    } while (u);
    if (neg) tmp[--i] = '-';
    m.add(std::string_view(tmp + i, sizeof tmp - static_cast<size_t>(i)));
}

Wide floor_div(Wide a, Wide b) {
    Wide q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

bool raise_lone_electrons_needed(const AccountArgs& a, Wide L) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    add_wide(m, L);
    m.add(" lone electrons are needed instead of ");
    if (!m.add_plain(a.lone)) return false;
    m.add(". To automatically modify to the appropriate number of lone electrons, please add 'auto_modify = "
          "True'.");
    replace_all(m.bytes(), "1 lone electrons", "1 lone electron");
    return raise_error(ErrorKind::LoneElectron, m, a.id);
}

bool raise_orbitals_short(const AccountArgs& a, Wide L, Wide load, int64_t capacity) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    add_wide(m, L);
    m.add(" Too many Bonds. These bonds need ");
    add_wide(m, 100 - floor_div(200 - load, 2));
    m.add(" molecular orbitals but only ");
    Ref avail = Ref::steal(PyFloat_FromDouble(static_cast<double>(capacity) / 2.0));
    if (!avail || !m.add_plain(avail.get())) return false;
    m.add(" are available.");
    return raise_error(ErrorKind::Bond, m, a.id);
}

// When no fit exists, the walk whose conversions made at one released double
// bond carry on to the next finds the numbers the error reports.
bool raise_shell_error(const AccountArgs& a, bool auto_modify, Wide lone, Wide n, Wide b, Wide D,
                       int64_t capacity) {
    Wide L = lone, c = n;
    for (Wide d = 0;; ++d) {
        const Wide over = L + 2 * c - 2 * d - capacity;
        if (over > 0 && c > b) {
            const Wide k = std::min(over, c - b);
            L += k;
            c -= k;
        }
        if (!auto_modify && L != lone) return raise_lone_electrons_needed(a, L);
        const Wide load = L + 2 * c - 2 * d;
        if (load <= capacity || d >= D) return raise_orbitals_short(a, L, load, capacity);
    }
}

bool arguments_have_types(const AccountArgs& a) {
    return check_argument_type(a.element, Rule::Str, "element") && check_argument_type(a.charge, Rule::Int, "charge") &&
           check_argument_type(a.lone, Rule::Int, "lone_electron") && check_argument_type(a.id, Rule::Int, "id_");
}

bool raise_negative_lone(const AccountArgs& a) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    m.add("The number of lone electrons must be non-negative.");
    return raise_error(ErrorKind::LoneElectron, m, a.id);
}

bool raise_unknown_element(const AccountArgs& a) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    m.add("Element '");
    if (!m.add_str(a.element)) return false;
    m.add("' not found. This element may not exist or it is currently not supported.");
    return fail_returning_id(ErrorKind::Element, m, a.id);
}

// The valence electrons left for bonds and lone electrons at this charge;
// raises the charge errors when the charge is outside the element's range.
bool electrons_at_charge(const AccountArgs& a, const ElementRow& row, Wide* v) {
    const BigInt charge = read_int(a.charge);
    // A charge beyond 64 bits is far outside every row: only its sign matters.
    *v = charge.fits() ? Wide(row.valence) - charge.value : (charge.overflow > 0 ? -1 : Wide(row.capacity) + 1);
    if (*v >= 0 && *v <= row.capacity) return true;
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    if (*v < 0) {
        m.add("No enough valence electrons for the +");
        if (!m.add_plain(a.charge)) return false;
        m.add(" valence state (The maximum supported positive charge is +");
        m.add_int(row.valence);
    } else {
        m.add("No enough empty orbitals for the ");
        if (!m.add_plain(a.charge)) return false;
        m.add(" valence state (The maximum supported negative charge is -");
        add_wide(m, Wide(row.capacity) - row.valence);
    }
    m.add(").");
    return fail_returning_id(ErrorKind::Charge, m, a.id);
}

bool raise_too_many_given_bonds(const AccountArgs& a, Wide v, Wide b) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    m.add("Too many Bonds (Only ");
    add_wide(m, v);
    m.add(" bonds can be formed, but there exist ");
    add_wide(m, b);
    m.add(" bonds).");
    replace_all(m.bytes(), "exist 1 bonds", "exists 1 bond");
    replace_all(m.bytes(), "1 bonds", "1 bond");
    return fail_returning_id(ErrorKind::Bond, m, a.id);
}

bool raise_too_many_lone_electrons(const AccountArgs& a, Wide v) {
    Text m;
    if (!add_atom_tag(m, a.id)) return false;
    m.add("No enough valence electrons for ");
    if (!m.add_plain(a.lone)) return false;
    m.add(" lone electrons (There are ");
    add_wide(m, v);
    m.add(" remaining valence electrons available).");
    replace_all(m.bytes(), "1 lone electrons", "1 lone electron");
    replace_all(m.bytes(), "1 remaining valence electrons", "1 remaining valence electron");
    return fail_returning_id(ErrorKind::Charge, m, a.id);
}

// Fits the shell with the fewest changes: the smallest number of released
// double bonds d, and at that d the fewest hydrogen places k turned into lone
// electrons (none at all without auto_modify).
bool fit_shell(const AccountArgs& a, const ElementRow& row, Wide lone, Wide v, const EntryCount& entries,
               Capacity* out) {
    const Wide n = v - lone;
    const Wide cap = row.capacity;
    if (lone + 2 * n <= cap) {
        *out = {static_cast<int64_t>(n), static_cast<int64_t>(lone)};
        return true;
    }
    const int truth = foreign::is_true(a.auto_modify);
    if (truth < 0) return false;
    const bool auto_modify = truth;
    const Wide b = entries.entries;
    const Wide D = entries.doubles;
    for (Wide d = 0; d <= D; ++d) {
        const Wide base = lone + 2 * n - 2 * d;
        const Wide k = auto_modify ? std::max<Wide>(0, base - cap) : 0;
        if (base - k <= cap && k <= n - b) {
            *out = {static_cast<int64_t>(n - k), static_cast<int64_t>(lone + k)};
            return true;
        }
    }
    return raise_shell_error(a, auto_modify, lone, n, b, D, row.capacity);
}

}  // namespace

bool bond_num(const AccountArgs& a, Capacity* out) {
    if (!accounting_runs_no_python(a)) settle_before_python();
    if (!arguments_have_types(a)) return false;
    const BigInt lone = read_int(a.lone);
    if (lone.value < 0) return raise_negative_lone(a);
    EntryCount entries;
    if (!count_entries(a.existing, a.placeholders, &entries)) return false;
    ElementRow row;
    bool found = false;
    if (!lookup_element(a.cls, a.element, &row, &found)) return false;
    if (!found) return raise_unknown_element(a);
    Wide v = 0;
    if (!electrons_at_charge(a, row, &v)) return false;
    if (v - entries.entries < 0) return raise_too_many_given_bonds(a, v, entries.entries);
    if (!lone.fits() || v - entries.entries < lone.value) return raise_too_many_lone_electrons(a, v);
    return fit_shell(a, row, lone.value, v, entries, out);
}

Ref remove_hydro(PyObject* bonds) {
    Ref kept = Ref::steal(PyList_New(0));
    if (!kept) return nullptr;
    Ref iter = foreign::iter(bonds);
    if (!iter) return nullptr;
    while (Ref entry = foreign::next(iter.get())) {
        Ref element = entry_element(entry.get());
        if (!element) return nullptr;
        if (!is_hydrogen_symbol(element.get())) {
            if (PyList_Append(kept.get(), entry.get()) < 0) return nullptr;
        }
    }
    if (PyErr_Occurred()) return nullptr;
    return kept;
}

}  // namespace atom
