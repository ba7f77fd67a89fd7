# Coverage-guided fuzzing. With FUZZ_LIBFUZZER (clang only) every target of
# the tree is compiled with libFuzzer's coverage instrumentation, so that the
# libraries' and the tools' code guides the fuzzer, and the harnesses under
# fuzz/ are linked with libFuzzer. Without it they are linked with the
# project's own driver, which replays their corpora.
option(FUZZ_LIBFUZZER "Link the fuzz harnesses with libFuzzer (needs clang)" OFF)
set(HOSTLIBS_LIBFUZZER OFF)
if(FUZZ_LIBFUZZER)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS -fsanitize=fuzzer)
  check_cxx_source_compiles([[
    #include <cstddef>
    #include <cstdint>
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }
  ]] FUZZ_HAVE_LIBFUZZER)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT FUZZ_HAVE_LIBFUZZER)
    # A silent fallback would replay corpora and call it fuzzing.
    message(FATAL_ERROR "FUZZ_LIBFUZZER: ${CMAKE_CXX_COMPILER} has no -fsanitize=fuzzer "
                        "(clang with its runtime: clang-14 and libclang-rt-14-dev)")
  endif()
  set(HOSTLIBS_LIBFUZZER ON)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
