# Thin wrappers over CMake presets; `make test` is what CI runs.
PRESET ?= debug
FUZZ_SECONDS ?= 60
BUILD  := build/$(PRESET)

.PHONY: all deps configure build test run asan fuzz clean format

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

# What CI runs: the debug build's tests (with the format and layering checks), then the same
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer, then built for release. Every
# preset treats warnings as errors.
test: build
	@ctest --preset $(PRESET)
ifeq ($(PRESET),debug)
	@$(MAKE) --no-print-directory asan
	@$(MAKE) --no-print-directory test PRESET=release
endif

# The program against a local stand-in for the provider, with a demo profile in the build folder:
# on a desktop in the notification area; without a display under an X server of its own, with
# screenshots.
run: build
	@scripts/run-demo $(BUILD)

# Every parser under libFuzzer for FUZZ_SECONDS each (default 60).
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

# A Debian package of the release build: build/release/vantle_<version>_<arch>.deb.
.PHONY: package
package: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target package

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
