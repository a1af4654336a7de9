"""brantor: what users of the ``Atom`` module need beyond its core.

The package builds on the module's public API only and leaves the module's
surface as it is.
"""

from __future__ import annotations

__all__: list[str] = []
