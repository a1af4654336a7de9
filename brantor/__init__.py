"""brantor: what users of the ``Atom`` module need beyond its core.

The package builds on the module's public API only and leaves the module's
surface as it is.
"""

from __future__ import annotations

from .draw import draw_svg, show

__all__: list[str] = []
__all__ += ["draw_svg", "show"]
