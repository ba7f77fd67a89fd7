# The two commands: `make demo` and `make test`. Each installs what is missing,
# configures, builds and runs.
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
RELEASE_BUILD ?= build-release
CMAKE_FLAGS ?=
# Warnings are errors for the tests and CI; a plain build only shows them.
WERROR ?= OFF
test test-native test-asan test-release test-windows: WERROR = ON
export HOSTLIBS_WERROR = $(WERROR)

.PHONY: all deps build asan release demo test test-format test-native test-asan test-release test-package package bench format clean

all: build

deps:
	@./cmake/install-deps.sh cmake/packages.txt

# Configuring again is cheap and picks up a changed WERROR.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# What a packager builds: every target at -O3, installed under /usr.
release: deps
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

demo: build
	./tools/demo/run-demo.sh $(BUILD)

# The damaged-store campaign's counts are printed whether or not it passed.
test-native: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cat $(BUILD)/damaged-stores-*.txt

test-asan: asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)
	@cat $(ASAN_BUILD)/damaged-stores-*.txt

# The Release build is compiled, not run: it catches what only -O3 warns of.
test-release: release

# The Release build installed into a staging prefix and made into Debian
# packages, each used as a host author would use it.
test-package: release
	./tests/package/test-install.sh $(RELEASE_BUILD)
	./tests/package/test-deb.sh $(RELEASE_BUILD)

# The Debian packages (in $(RELEASE_BUILD)/) and the Windows release archives
# (in dist/).
package: release windows
	cd $(RELEASE_BUILD) && cpack -G DEB

test: test-format test-native test-asan test-release test-package test-windows

# Every C and C++ file follows .clang-format; `make format` makes it so.
test-format: deps
	@./cmake/check-format.sh

format: deps
	./cmake/check-format.sh --fix

bench: build
	./bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD)

# Windows DLLs cross-built with mingw-w64, checked statically (32-bit) and
# under Wine (64-bit, and 32-bit where the machine runs 32-bit code).
WIN_X86 ?= build-win-x86
WIN_X64 ?= build-win-x64

.PHONY: windows-deps windows test-windows

# 32-bit Wine only where the machine can run it; test-windows says so otherwise.
windows-deps:
	@./cmake/install-deps.sh cmake/packages-windows.txt
	@if ./tests/windows/can-run-i386.sh; then \
	  ./cmake/install-deps.sh cmake/packages-windows-i386.txt; fi

windows: windows-deps
	./cmake/windows/build.sh i686-w64-mingw32 $(WIN_X86) dist/windows-x86
	./cmake/windows/build.sh x86_64-w64-mingw32 $(WIN_X64) dist/windows-x64

test-windows: windows
	./tests/windows/test-windows.sh $(WIN_X86) $(WIN_X64) dist/windows-x86 dist/windows-x64 $(BUILD)
