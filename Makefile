# Set-up, build and test in one place; `make test` and `make demo` are all a fresh machine needs.
PYTHON ?= python3
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TESTS := build/tests
BUILD_ASAN := build/asan
BUILD_BENCH := build/bench
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all bootstrap install cxx-test py-test test demo asan bench screenshot format format-check clean

all: install

bootstrap:
	@PYTHON=$(PYTHON) ./scripts/bootstrap.sh

install: bootstrap
	$(PYTHON) -m pip install -q --no-build-isolation .

cxx-test: bootstrap
	cmake -S . -B $(BUILD_TESTS) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVT_BUILD_TESTS=ON -DKVT_WERROR=ON
	cmake --build $(BUILD_TESTS) -j $(JOBS)
	ctest --test-dir $(BUILD_TESTS)/kvtlint-core --output-on-failure -j $(JOBS)

py-test: install
	$(PYTHON) -m pytest -q tests

test: cxx-test py-test

asan: bootstrap
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKVT_BUILD_TESTS=ON -DKVT_WERROR=ON -DKVT_SANITIZE=ON -DKVT_BUILD_CLI=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_ASAN)/kvtlint-core --output-on-failure -j $(JOBS)

demo: install
	@if command -v kvt-lint >/dev/null 2>&1 && [ -f examples/paper.tex ]; then \
	  cd examples && kvt-lint . || true; \
	else \
	  $(PYTHON) -c "import kvtlint; print(kvtlint.version())"; \
	fi

bench: bootstrap
	cmake -S . -B $(BUILD_BENCH) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKVT_BUILD_BENCH=ON
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	$(BUILD_BENCH)/bench/kvt_bench

screenshot: install
	./examples/screenshot.sh

format:
	find kvtlint-core binding cli bench -name '*.cpp' -o -name '*.hpp' | xargs clang-format -i

format-check:
	find kvtlint-core binding cli bench -name '*.cpp' -o -name '*.hpp' | xargs clang-format --dry-run --Werror

clean:
	rm -rf build
