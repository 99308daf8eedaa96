# pinvale_version: a generated header with the project's version for every
# program that shows it.
configure_file(${PROJECT_SOURCE_DIR}/src/version/pinvale_version.h.in
  ${PROJECT_BINARY_DIR}/generated/version/pinvale_version.h @ONLY)
add_library(pinvale_version INTERFACE)
target_include_directories(pinvale_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

# Windows version resources want four numbers: 1.1 is 1.1.0.0 there.
set(pinvale_version_numbers ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR})
foreach(part PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    list(APPEND pinvale_version_numbers 0)
  else()
    list(APPEND pinvale_version_numbers ${PROJECT_VERSION_${part}})
  endif()
endforeach()
string(REPLACE ";" "," PINVALE_VERSION_COMMAS "${pinvale_version_numbers}")
string(REPLACE ";" "." PINVALE_VERSION_FOUR "${pinvale_version_numbers}")
