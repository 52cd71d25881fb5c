# Cross build for 64-bit Windows with Debian's MinGW-w64 (the -posix thread model, so std::thread
# and std::mutex work), linked statically so the module and the programs need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOVR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOVR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVR_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TOVR_MINGW_TRIPLE}-objdump)

# Headers and libraries come from the MinGW-w64 tree only; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TOVR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, each in the throwaway prefix of the current test run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
