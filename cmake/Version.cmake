# The version from the VERSION file, for C++ and the Windows version
# resources: KestruneVersion.h through the kestrune_version target.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/VERSION)
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "VERSION must hold MAJOR.MINOR.PATCH, e.g. 1.0.0, not '${PROJECT_VERSION}'")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/KestruneVersion.h.in ${PROJECT_BINARY_DIR}/generated/KestruneVersion.h @ONLY)
add_library(kestrune_version INTERFACE)
target_include_directories(kestrune_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
