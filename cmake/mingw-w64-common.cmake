# What both mingw-w64 toolchain files share; ZORVEX_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${ZORVEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVEX_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVEX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside each binary (only system DLLs are
# imported): nothing to ship beside kelvary.exe and zorvex.dll but the two.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# ctest runs the test programs through Wine when it is there.
find_program(ZORVEX_WINE wine)
if(ZORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORVEX_WINE})
endif()
