# The two commands of the README: `make demo` and `make test`.
# Both set up .venv themselves (Python 3.12, the package and its test tools).

VENV   := .venv
PY     := $(VENV)/bin/python
SOURCES := $(shell find src -name '*.cpp' -o -name '*.hpp') CMakeLists.txt pyproject.toml

.PHONY: demo test bench clean sanitize fuzz

demo: .stamp-install
	$(PY) examples/tour.py

test: .stamp-install
	$(PY) -m pytest

bench: .stamp-install
	$(PY) bench/run.py

$(VENV)/bin/python:
	@PY312="$$(tools/find-python312)" || exit 1; \
	echo "Creating $(VENV) with $$PY312"; \
	"$$PY312" -m venv $(VENV)

.stamp-tools: $(VENV)/bin/python
	$(PY) -m pip install -q --disable-pip-version-check "scikit-build-core>=0.10" "pytest>=8" "hypothesis>=6"
	@touch $@

.stamp-install: .stamp-tools $(SOURCES)
	$(PY) -m pip install -q --disable-pip-version-check --no-build-isolation ".[test]"
	@touch $@

clean:
	rm -rf build .stamp-* $(VENV) $(SAN_VENV) .venv-fuzz .venv-fuzz-sanitize

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
	$(SAN_ENV) $(SAN_PY) -m pytest -p no:cacheprovider -q

$(SAN_VENV)/bin/python:
	@PY312="$$(tools/find-python312)" || exit 1; \
	echo "Creating $(SAN_VENV) with $$PY312"; \
	"$$PY312" -m venv $(SAN_VENV)

.stamp-sanitize-tools: $(SAN_VENV)/bin/python
	$(SAN_PY) -m pip install -q --disable-pip-version-check "scikit-build-core>=0.10" "pytest>=8" "hypothesis>=6"
	@touch $@

.stamp-sanitize-install: .stamp-sanitize-tools $(SOURCES)
	CXX=$(SAN_CXX) $(SAN_PY) -m pip install -q --disable-pip-version-check --no-build-isolation \
	    -C build-dir=build/sanitize -C cmake.build-type=RelWithDebInfo \
	    -C cmake.define.ATOM_SANITIZE=ON ".[test]"
	@touch $@

# make fuzz [FUZZ_SECONDS=60] [FUZZ_SEED=1] [FUZZ_TARGET=smiles|ops|both] [FUZZ_SKIP_KNOWN=1]
#           [FUZZ_STOP=1] [SANITIZE=1] [FUZZ_ENGINE=random]
# Failures are written as scripts under fuzz/crashes/; the exit status says whether any.
FUZZ_SECONDS    ?= 60
FUZZ_SEED       ?= 1
FUZZ_TARGET     ?= both
FUZZ_SKIP_KNOWN ?= 0
FUZZ_STOP       ?= 0
SANITIZE        ?= 0
FUZZ_ENGINE     ?=
FUZZ_VENV := .venv-fuzz$(if $(filter 1,$(SANITIZE)),-sanitize)

fuzz: .stamp-fuzz-install-$(SANITIZE)
	FUZZ_ENGINE=$(FUZZ_ENGINE) fuzz/launch $(FUZZ_VENV) $(SANITIZE) --target $(FUZZ_TARGET) --seconds $(FUZZ_SECONDS) --seed $(FUZZ_SEED) \
	    $(if $(filter 1,$(FUZZ_SKIP_KNOWN)),--skip-known) $(if $(filter 1,$(FUZZ_STOP)),--stop)

.stamp-fuzz-install-$(SANITIZE): $(SOURCES) fuzz/setup
	fuzz/setup $(FUZZ_VENV) $(SANITIZE)
	@touch $@
