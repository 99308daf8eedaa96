# Cross-compiles for 64-bit Windows with Debian's mingw-w64. The -posix flavour of
# the compilers gives std::thread and std::mutex (winpthreads). Everything links
# statically, so pinvale.exe and the test programs need no mingw runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PINVALE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PINVALE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PINVALE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_ASM_COMPILER ${PINVALE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_RC_COMPILER ${PINVALE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${PINVALE_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PINVALE_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# The libraries built by scripts/setup-windows (mbedTLS, pugixml, libzip,
# GoogleTest) live in the build tree; zlib comes with the mingw sysroot.
if(NOT PINVALE_WINDOWS_DEPS)
  if(DEFINED ENV{PINVALE_WINDOWS_DEPS})
    set(PINVALE_WINDOWS_DEPS $ENV{PINVALE_WINDOWS_DEPS})
  else()
    get_filename_component(PINVALE_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix
                           ABSOLUTE)
  endif()
endif()
set(PINVALE_WINDOWS_DEPS ${PINVALE_WINDOWS_DEPS} CACHE PATH "Prefix of the cross-built libraries")
# try_compile projects run this file again and need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PINVALE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${PINVALE_MINGW_TRIPLE} ${PINVALE_WINDOWS_DEPS})
set(CMAKE_PREFIX_PATH ${PINVALE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# Windows 7 is the oldest target; it has every call the program makes.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
