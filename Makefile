# Convenience front end over CMake. `make run` starts the calculator on the
# default rate database; `make test` builds everything and runs every test.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build run cli test bench clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD)

# Chromium (the template editor's browser) will not start as root with its
# sandbox on; as root, say so and run without it.
run: build
	@scripts/seed-sample.sh $(BUILD)/bin
	@if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Running as root: the editor's browser runs without Chromium's sandbox."; \
	    QTWEBENGINE_DISABLE_SANDBOX=1 $(BUILD)/bin/kuaidi; \
	else \
	    $(BUILD)/bin/kuaidi; \
	fi

test: build
	ctest --test-dir $(BUILD) --output-on-failure

bench: build
	@for b in $(BUILD)/bin/bench_*; do $$b; done

clean:
	rm -rf $(BUILD)
