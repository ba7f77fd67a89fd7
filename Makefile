# The two commands: `make demo` and `make test`. Each installs what is missing,
# configures, builds and runs.
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?=

.PHONY: all deps build asan demo test test-native test-asan bench clean

all: build

deps:
	@./cmake/install-deps.sh cmake/packages.txt

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON $(CMAKE_FLAGS) >/dev/null

asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

demo: build
	./tools/demo/run-demo.sh $(BUILD)

test-native: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

test: test-native test-asan test-windows

bench: build
	./bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# Windows DLLs cross-built with mingw-w64, checked statically (32-bit) and
# under Wine (64-bit; 32-bit too where the machine runs 32-bit code).
WIN_X86 ?= build-win-x86
WIN_X64 ?= build-win-x64

.PHONY: windows-deps windows test-windows

windows-deps:
	@./cmake/install-deps.sh cmake/packages-windows.txt

windows: windows-deps
	./cmake/windows/build.sh i686-w64-mingw32 $(WIN_X86) dist/windows-x86
	./cmake/windows/build.sh x86_64-w64-mingw32 $(WIN_X64) dist/windows-x64

test-windows: windows
	./tests/windows/test-windows.sh $(WIN_X86) $(WIN_X64) dist/windows-x86 dist/windows-x64 $(BUILD)
