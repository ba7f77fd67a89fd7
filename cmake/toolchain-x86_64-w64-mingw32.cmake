# Cross build for x86_64 Windows with mingw-w64 (win32 thread model).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows/mingw-toolchain.cmake)
