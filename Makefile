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

# On a desktop: the program in the notification area. Without a display: the sample usage
# document as the program reads it.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		exec $(BUILD)/bin/vantle; \
	else \
		echo "No display: printing the sample usage document as vantle reads it."; \
		$(BUILD)/bin/vantlectl usage $(SAMPLE); \
	fi

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
