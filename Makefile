# Front door: `make demo` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= 2
TOOLCHAIN := cmake/mingw-w64-x86_64.cmake
CONFIGURED := $(BUILD)/CMakeCache.txt

DEBUG_BUILD ?= build-debug

.PHONY: all deps build test demo bench debug format clean

all: build

deps:
	@bash scripts/deps.sh

$(CONFIGURED): | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

build: deps $(CONFIGURED)
	cmake --build $(BUILD) -j $(JOBS)

# Symbols and no optimization, in a folder of its own; run a group there with
# `source scripts/wine-env.sh build-debug && cd build-debug && ctest -R '^GROUP$$'`.
debug: deps
	cmake -S . -B $(DEBUG_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(DEBUG_BUILD) -j $(JOBS)

test: build
	bash scripts/run-tests.sh $(BUILD)

demo: build
	bash scripts/demo.sh $(BUILD)

bench: build
	bash scripts/bench.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' '*.inl' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(DEBUG_BUILD)
