// Whether the accounting can run Python code on its way to a result.
#pragma once

#include "valence/accounting.hpp"

namespace atom {

// True when bond_num(args) runs no Python code but, when it fails, the
// building of its error (which settles the pool by itself): exact argument
// types, bond entries that are exact ints or atoms compared by identity, a
// plain element table and an auto_modify whose truth needs no call.
bool accounting_runs_no_python(const AccountArgs& args);

}  // namespace atom
