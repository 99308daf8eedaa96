# Every target of ours links pinvale_options: warnings, and errors for them in dev builds.
add_library(pinvale_options INTERFACE)
target_compile_options(pinvale_options INTERFACE -Wall -Wextra)
if(PINVALE_WERROR)
  target_compile_options(pinvale_options INTERFACE -Werror)
endif()
target_include_directories(pinvale_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

# Adds a GoogleTest executable and registers its cases with CTest.
include(GoogleTest)
function(pinvale_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE pinvale_options ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# Optimised Linux builds are the ones shipped (the Debian package): the hardening
# Debian asks of its programs.
if(NOT WIN32)
  target_compile_options(pinvale_options INTERFACE
    $<$<CONFIG:Release>:-fstack-protector-strong -D_FORTIFY_SOURCE=2>)
  target_link_options(pinvale_options INTERFACE
    $<$<CONFIG:Release>:-Wl,-z,relro,-z,now>)
endif()
