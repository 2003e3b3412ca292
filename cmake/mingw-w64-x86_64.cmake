# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (package
# g++-mingw-w64-x86-64-posix). The -posix variants provide std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SHEETPAK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SHEETPAK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SHEETPAK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SHEETPAK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SHEETPAK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime libraries: sheetpak.exe and the test programs need no DLL
# from the compiler.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
