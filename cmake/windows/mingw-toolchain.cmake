# mingw-w64 cross build, shared by both Windows toolchains; the including
# file sets CMAKE_SYSTEM_PROCESSOR and TOOLCHAIN_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TOOLCHAIN_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLLs and programs carry their own C and C++ runtimes, so they import
# only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
# --kill-at: the .def files name the decorated stdcall symbols and the DLLs
# export them undecorated.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static -Wl,--kill-at")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

set(CMAKE_PROJECT_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/project-include.cmake)
