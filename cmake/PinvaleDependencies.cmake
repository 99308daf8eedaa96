find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
if(WIN32)
  # Static archives only: an import library (.dll.a) would make the program need a DLL.
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()

# mbedTLS 2.28 ships no CMake package on Debian.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/ecdh.h REQUIRED)
find_library(MBEDTLS_CRYPTO_LIB mbedcrypto REQUIRED)
add_library(mbedcrypto_dep INTERFACE)
target_include_directories(mbedcrypto_dep INTERFACE ${MBEDTLS_INCLUDE_DIR})
target_link_libraries(mbedcrypto_dep INTERFACE ${MBEDTLS_CRYPTO_LIB})
add_library(Pinvale::mbedcrypto ALIAS mbedcrypto_dep)

if(WIN32)
  # mbedTLS draws entropy from CryptGenRandom.
  target_link_libraries(mbedcrypto_dep INTERFACE advapi32)
  # Wide-character Win32 calls throughout, and no min/max macros over std::min.
  add_compile_definitions(UNICODE _UNICODE NOMINMAX)
endif()

if(PINVALE_BUILD_TESTS OR PINVALE_BUILD_BENCH)
  find_package(GTest REQUIRED)
endif()
if(PINVALE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
  pkg_check_modules(LIBCBOR IMPORTED_TARGET libcbor)
  pkg_check_modules(LIBFIDO2 IMPORTED_TARGET libfido2)
endif()

if(UNIX AND NOT APPLE AND NOT CMAKE_CROSSCOMPILING)
  pkg_check_modules(LIBUDEV REQUIRED IMPORTED_TARGET libudev)
  # Emulated hidraw devices for the tests and pinvale-vkey --emulate-hidraw.
  pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
endif()

if(PINVALE_BUILD_UI)
  find_package(pugixml REQUIRED)
  if(WIN32)
    # Cross-built by scripts/setup-windows, under the name the Linux build uses.
    find_package(ZLIB REQUIRED)
    find_package(libzip CONFIG REQUIRED)
    add_library(PkgConfig::LIBZIP INTERFACE IMPORTED)
    target_link_libraries(PkgConfig::LIBZIP INTERFACE libzip::zip)
  else()
    pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
  endif()
  if(NOT WIN32)
    pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2 SDL2_ttf SDL2_image)
    pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
    # The desktop's text scale (Xft.dpi) and its window manager, read with Xlib.
    pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
  endif()
endif()
