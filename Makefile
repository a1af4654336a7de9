# The two commands of the README: `make demo` and `make test`.
# Every CPython from 3.12 on that tools/find-python finds (3.12 required) gets
# an environment of its own, .venv-3.12, .venv-3.13, ..., set up on first use:
# the module alone for the demo, its test or benchmark tools added when needed.

# The environment of the single-interpreter targets (demo, bench): Python 3.12.
VENV     := .venv-3.12
PY       := $(VENV)/bin/python
# The versions `make test` runs on: all found, unless given (make test VERSIONS=3.13).
VERSIONS ?= $$(tools/find-python --versions)
SOURCES  := $(shell find src -name '*.cpp' -o -name '*.hpp') CMakeLists.txt pyproject.toml Atom.pyi
PIP      = -m pip install -q --disable-pip-version-check

.PHONY: demo test bench clean

demo: $(VENV)/.stamp-module
	$(PY) examples/tour.py

# Runs the suite on each version, each in its own environment, then says which
# ran; fails when any run fails or none ran.
test:
	@versions="$(VERSIONS)" || exit 1; ran=""; status=0; \
	for v in $$versions; do \
	    echo "== Python $$v: .venv-$$v =="; \
	    if $(MAKE) --no-print-directory .venv-$$v/.stamp-test && .venv-$$v/bin/python -m pytest; \
	    then ran="$$ran $$v:passed"; else ran="$$ran $$v:FAILED"; status=1; fi; \
	done; \
	[ -n "$$ran" ] || { echo "error: no Python to test on" >&2; exit 1; }; \
	echo "Test runs:$$ran"; exit $$status

bench: $(VENV)/.stamp-bench
	$(PY) bench/run.py

.venv-%/bin/python:
	@python="$$(tools/find-python $*)" || exit 1; \
	echo "Creating .venv-$* with $$python"; \
	"$$python" -m venv .venv-$*

# The build backend, for installs without build isolation.
.venv-%/.stamp-backend: .venv-%/bin/python
	.venv-$*/bin/python $(PIP) "scikit-build-core>=0.10"
	@touch $@

.venv-%/.stamp-module: .venv-%/.stamp-backend $(SOURCES)
	.venv-$*/bin/python $(PIP) --no-build-isolation .
	@touch $@

.venv-%/.stamp-test: .venv-%/.stamp-backend $(SOURCES)
	.venv-$*/bin/python $(PIP) --no-build-isolation ".[test]"
	@touch .venv-$*/.stamp-module $@

.venv-%/.stamp-bench: .venv-%/.stamp-backend $(SOURCES)
	.venv-$*/bin/python $(PIP) --no-build-isolation ".[bench]"
	@touch .venv-$*/.stamp-module $@

.PRECIOUS: .venv-%/bin/python .venv-%/.stamp-backend .venv-%/.stamp-module .venv-%/.stamp-test .venv-%/.stamp-bench

clean:
	rm -rf build .stamp-* .venv .venv-*
