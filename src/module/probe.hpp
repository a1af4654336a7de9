// The test build's probe (ATOM_PROBE=ON): the module `_atom_probe` in
// sys.modules, with the fast paths' counts, and a profile hook on every thread
// that aborts the process when a Python frame starts while the module's
// deferred state (recorded draws, unbuilt hydrogens) is not settled. The
// normal build installs nothing, so the module's surface is unchanged.
#pragma once

namespace atom {

bool install_probe();

}  // namespace atom
