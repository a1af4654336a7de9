# The two commands of the README: `make demo` and `make test`.
# Both set up .venv themselves (Python 3.12, the package and its test tools).

VENV   := .venv
PY     := $(VENV)/bin/python
SOURCES := $(shell find src -name '*.cpp' -o -name '*.hpp') CMakeLists.txt pyproject.toml

.PHONY: demo test bench clean

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
	rm -rf build .stamp-* $(VENV)
