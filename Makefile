# The two commands: `make demo` and `make test`. Each installs what is missing,
# configures, builds and runs. Building installs only what it builds with;
# testing adds what the tests run with.
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
RELEASE_BUILD ?= build-release
CMAKE_FLAGS ?=
# Warnings are errors for the tests and CI; a plain build only shows them.
WERROR ?= OFF
test test-native test-asan test-release test-windows: WERROR = ON
export HOSTLIBS_WERROR = $(WERROR)

PACKAGES = cmake/packages
INSTALL = ./cmake/install-deps.sh

.PHONY: all build-deps deps test-deps package-deps bench-deps build asan release tools demo test \
  test-format test-paths test-install-script test-native test-asan test-release test-package \
  package bench format clean

all: build

# What the libraries, the tools and the demo build with.
build-deps:
	@$(INSTALL) $(PACKAGES)/build.txt
# ... and the tests, fuzz harnesses and benchmarks.
deps:
	@$(INSTALL) $(PACKAGES)/build.txt $(PACKAGES)/build-tests.txt
test-deps:
	@$(INSTALL) $(PACKAGES)/test.txt
package-deps:
	@$(INSTALL) $(PACKAGES)/package.txt
bench-deps:
	@$(INSTALL) $(PACKAGES)/bench.txt

# Configuring again is cheap and picks up a changed WERROR.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_TESTING=ON -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# What a packager builds: every target at -O3, installed under /usr.
release: deps
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=ON -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

# The libraries and the three store tools, in $(BUILD)/lib and $(BUILD)/bin.
tools: build-deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DHOSTLIBS_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target textfind hostutil textfind-build textfind-check textfind-search

# The tools, the demo host, and the demo run.
demo: tools
	cmake --build $(BUILD) -j $(JOBS) --target textfind-demo
	./tools/demo/run-demo.sh $(BUILD)

# The damaged-store campaign's counts are printed whether or not it passed.
test-native: build test-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cat $(BUILD)/damaged-stores-*.txt

test-asan: asan test-deps
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)
	@cat $(ASAN_BUILD)/damaged-stores-*.txt

# The Release build is compiled, not run: it catches what only -O3 warns of.
test-release: release

# The Release build installed into a staging prefix and made into Debian
# packages, each used as a host author would use it.
test-package: release package-deps test-deps
	./tests/package/test-install.sh $(RELEASE_BUILD)
	./tests/package/test-deb.sh $(RELEASE_BUILD)

# The Debian packages (in $(RELEASE_BUILD)/) and the Windows release archives
# (in dist/).
package: release package-deps windows
	cd $(RELEASE_BUILD) && cpack -G DEB

test: test-format test-paths test-install-script test-native test-asan test-release test-package test-windows

# Every C and C++ file follows .clang-format; `make format` makes it so.
test-format: test-deps
	@./cmake/check-format.sh

# A checkout on a file system that ignores case holds every tracked path.
test-paths: test-deps
	@./tests/check_paths.sh

# The install script against a stand-in apt-get: retries, a package set that
# cannot be installed, a clean install.
test-install-script:
	@./tests/install/test-install-deps.sh

format: test-deps
	./cmake/check-format.sh --fix

bench: build bench-deps
	./bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) $(FUZZ_BUILD)

# Coverage-guided fuzzing: every harness built with clang's libFuzzer, ASan
# and UBSan, each run FUZZ_SECONDS on its corpus (fuzz/run.sh); new inputs
# land in $(FUZZ_BUILD)/fuzz/found/, failures in $(FUZZ_BUILD)/fuzz/artifacts/.
# `make fuzz-merge` minimises the corpora with what was found.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CMAKE = cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DSANITIZE=ON \
  -DFUZZ_LIBFUZZER=ON -DBUILD_TESTING=ON $(CMAKE_FLAGS) >/dev/null

.PHONY: fuzz-deps fuzz-build fuzz fuzz-merge

fuzz-deps:
	@$(INSTALL) $(PACKAGES)/fuzz.txt

fuzz-build: deps fuzz-deps
	$(FUZZ_CMAKE)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all

fuzz: fuzz-build
	./fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-merge: fuzz-build
	./fuzz/run.sh --merge $(FUZZ_BUILD)

# Windows DLLs cross-built with mingw-w64, checked statically (32-bit) and
# under Wine (64-bit, and 32-bit where the machine runs 32-bit code).
WIN_X86 ?= build-win-x86
WIN_X64 ?= build-win-x64
# Why 32-bit Wine could not be installed, when it could not.
WINE32_REASON = $(WIN_X86)/wine32-not-installed.txt

.PHONY: windows-build-deps windows-test-deps windows test-windows

windows-build-deps:
	@$(INSTALL) $(PACKAGES)/windows-build.txt

# 32-bit Wine only where the machine can run it; when it cannot be had the
# tests of the 32-bit DLLs under Wine are skipped with apt's reason.
windows-test-deps:
	@$(INSTALL) $(PACKAGES)/windows-test.txt
	@mkdir -p $(WIN_X86)
	@if ./tests/windows/can-run-i386.sh; then \
	  $(INSTALL) --optional $(WINE32_REASON) $(PACKAGES)/windows-test-i386.txt; fi

windows: windows-build-deps
	./cmake/windows/build.sh i686-w64-mingw32 $(WIN_X86) dist/windows-x86
	./cmake/windows/build.sh x86_64-w64-mingw32 $(WIN_X64) dist/windows-x64

test-windows: windows windows-test-deps
	./tests/windows/test-windows.sh $(WIN_X86) $(WIN_X64) dist/windows-x86 dist/windows-x64 $(BUILD)
