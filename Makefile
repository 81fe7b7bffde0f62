# Thin wrappers over CMake presets; `make test` is what CI runs.
PRESET ?= debug
BUILD  := build/$(PRESET)
SAMPLE := tests/fixtures/usage/sample.xml

.PHONY: all deps configure build test run asan clean format

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

run: build
	$(BUILD)/bin/vantlectl usage $(SAMPLE)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
