# Cross build for i686 Windows with mingw-w64 (win32 thread model).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows/mingw-toolchain.cmake)
