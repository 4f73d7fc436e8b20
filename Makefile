# Front door: `make demo` and `make test` work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= 2
TOOLCHAIN := cmake/mingw-w64-x86_64.cmake
CONFIGURED := $(BUILD)/CMakeCache.txt

.PHONY: all deps build test demo bench format clean

all: build

deps:
	@bash scripts/deps.sh

$(CONFIGURED): | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

build: deps $(CONFIGURED)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	bash scripts/run-tests.sh $(BUILD)

demo: build
	bash scripts/demo.sh $(BUILD)

bench: build
	bash scripts/bench.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' '*.inl' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
