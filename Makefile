# Convenience front end over the CMake presets. `make run` starts the
# calculator on the default rate database; `make test` builds everything and
# runs every test. PRESET picks the build: dev (default), ci, asan, release.
PRESET ?= dev
BUILD := $(if $(filter dev,$(PRESET)),build,build-$(PRESET))
# `make run` keeps the seller's data in the per-user data folder, where
# `make clean` never reaches.
RUN_DB ?= $(or $(XDG_DATA_HOME),$(HOME)/.local/share)/Vantor/kuaidi/kuaidishuju.db
# The package script runs once a build folder, not on every build.
DEPS_DONE := $(BUILD)/.deps-installed

.PHONY: all deps configure build run test bench package check-package windows test-windows fuzz format lint clean

all: build

deps:
	@scripts/install-deps.sh

$(DEPS_DONE): scripts/install-deps.sh
	@scripts/install-deps.sh
	@mkdir -p $(BUILD) && touch $@

$(BUILD)/build.ninja:
	cmake --preset $(PRESET)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build --preset $(PRESET)

# Chromium (the template editor's browser, embedded or the seller's own) will
# not start as root with its sandbox on; as root, say so and run without it.
run: $(DEPS_DONE)
	@$(MAKE) --no-print-directory build
	@scripts/seed-sample.sh $(BUILD)/bin "$(RUN_DB)"
	@if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Running as root: the editor's browser runs without Chromium's sandbox."; \
	    QTWEBENGINE_DISABLE_SANDBOX=1 KUAIDI_BROWSER_ARGS=--no-sandbox $(BUILD)/bin/kuaidi --db "$(RUN_DB)"; \
	else \
	    $(BUILD)/bin/kuaidi --db "$(RUN_DB)"; \
	fi

test: $(DEPS_DONE)
	@$(MAKE) --no-print-directory build
	ctest --preset $(PRESET)

bench: build
	@for b in $(BUILD)/bin/bench_*; do $$b; done

# The Debian package kuaidi_<version>_<arch>.deb, from an optimised build of
# the programs. PACKAGE_PRESET=ci packages the CI build instead of making one
# more; check-package then validates and tries what it holds.
PACKAGE_PRESET ?= release
PACKAGE_BUILD := $(if $(filter dev,$(PACKAGE_PRESET)),build,build-$(PACKAGE_PRESET))

package: $(DEPS_DONE)
	@$(MAKE) --no-print-directory build PRESET=$(PACKAGE_PRESET)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls $(PACKAGE_BUILD)/kuaidi_*.deb

check-package: package
	scripts/check-package.sh $(PACKAGE_BUILD)

# The Windows programs, cross-built with MinGW-w64 and the prebuilt Windows
# SDK (scripts/install-deps.sh --windows) into build-windows/: the portable
# folder kuaidi-<version>-win64, its .zip and kuaidi-<version>-setup.exe.
# `make test-windows` also builds the tests and runs them under Wine, with
# kuaidi-cli.exe compared against the kuaidi-cli of the PRESET build.
WINDOWS_DEPS_DONE := build-windows/.deps-installed
# More arguments of the Wine run's ctest ("-E name" leaves suites out).
WINDOWS_CTEST_ARGS ?=

$(WINDOWS_DEPS_DONE): scripts/install-deps.sh
	@scripts/install-deps.sh --windows
	@mkdir -p build-windows && touch $@

build-windows/build.ninja: $(WINDOWS_DEPS_DONE)
	cmake --preset windows

windows: build-windows/build.ninja
	nice -n 10 cmake --build --preset windows --target kuaidi kuaidi-cli windows-package
	@ls -l build-windows/kuaidi-*-win64.zip build-windows/kuaidi-*-setup.exe

test-windows: windows
	nice -n 10 cmake --build --preset windows
	@$(MAKE) --no-print-directory configure
	cmake --build --preset $(PRESET) --target kuaidi-cli
	# One virtual display for every Wine process: the first one started
	# opens Wine's desktop for all the others, the calculator's window too.
	KUAIDI_LINUX_CLI=$(CURDIR)/$(BUILD)/bin/kuaidi-cli \
		xvfb-run -a -s "-screen 0 1366x768x24" ctest --preset windows $(WINDOWS_CTEST_ARGS)

# libFuzzer over the spreadsheet readers (clang 14), FUZZ_SECONDS in all.
FUZZ_SECONDS ?= 300
fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(SOURCES)

# Formatting, the floors of src/layers.txt, and clang-tidy over the build.
lint: configure
	clang-format --dry-run -Werror $(SOURCES)
	scripts/check-layers.sh
	run-clang-tidy-14 -p $(BUILD) -quiet -j 2 "$(CURDIR)/src/"

clean:
	rm -rf $(BUILD)
