# Thin wrapper over CMake: `make run` and `make test` are the two commands of the README.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: setup configure build run test bench format clean

setup:
	scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/quillbay

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	$(BUILD_DIR)/bench/quillbay-bench

format:
	find src tests tools bench service -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
