# pinvale_version: a generated header with the project's version for every
# program that shows it.
configure_file(${PROJECT_SOURCE_DIR}/src/version/pinvale_version.h.in
  ${PROJECT_BINARY_DIR}/generated/version/pinvale_version.h @ONLY)
add_library(pinvale_version INTERFACE)
target_include_directories(pinvale_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
