"""Pictures written to files: SVG as it is, PNG through an SVG renderer, either
the cairosvg package (pip install 'brantor[png]') or the rsvg-convert program."""

from __future__ import annotations

import pathlib
import shutil
import subprocess

RENDERER_ADVICE = ("PNG output needs an SVG renderer: install cairosvg (pip install 'brantor[png]') "
                   "or the rsvg-convert program")


def svg_to_png(svg: str) -> bytes:
    """The picture rendered to PNG; RuntimeError when no renderer is installed."""
    try:
        import cairosvg  # type: ignore[import-untyped, import-not-found, unused-ignore]

        png: bytes = cairosvg.svg2png(bytestring=svg.encode())
        return png
    except (ImportError, OSError):  # OSError: the package is there but not the cairo library
        pass
    program = shutil.which("rsvg-convert")
    if program is None:
        raise RuntimeError(RENDERER_ADVICE)
    done = subprocess.run([program, "--format=png"], input=svg.encode(), capture_output=True, check=False)
    if done.returncode != 0:
        raise RuntimeError(f"rsvg-convert failed: {done.stderr.decode(errors='replace').strip()}")
    return done.stdout


def write_picture(svg: str, path: str | pathlib.Path) -> None:
    """Writes the picture as PNG when the path ends in .png, as SVG otherwise."""
    target = pathlib.Path(path)
    if target.suffix.lower() == ".png":
        target.write_bytes(svg_to_png(svg))
    else:
        target.write_text(svg, encoding="utf-8")
