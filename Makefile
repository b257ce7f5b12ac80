# Thin wrapper over CMake: `make run` and `make test` are the two commands of the README. `make run` builds the
# program and what it loads (the browser view of the analyses); `make test` builds everything: the tests, the
# bench and the online service as well.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: setup configure program build run test bench format clean

setup:
	scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

program: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target quillbay

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: program
	$(BUILD_DIR)/quillbay

# The checks the run skipped, and why, are said after ctest's own summary, which counts them as passed; the status is
# ctest's.
test: build
	cd $(BUILD_DIR) && { status=0; ctest --output-on-failure -j $(JOBS) --timeout 300 || status=$$?; \
		$(CURDIR)/tests/support/skipped-checks.sh Testing/Temporary/LastTest.log; exit $$status; }

bench: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target quillbay-bench
	$(BUILD_DIR)/bench/quillbay-bench

format:
	find src tests tools bench service -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
