# GoogleTest and GoogleMock for the tests: the platform's installed packages
# where there are some (Debian's libgtest-dev and libgmock-dev natively),
# otherwise built from a source tree (Debian's googletest package, which
# serves the Windows cross build too). KESTRUNE_GOOGLETEST_SOURCE_DIR names
# another source tree.
find_package(GTest QUIET)
if(GTest_FOUND AND TARGET GTest::gmock AND TARGET GTest::gtest_main)
  message(STATUS "GoogleTest: the installed package")
  return()
endif()

find_path(KESTRUNE_GOOGLETEST_SOURCE_DIR NAMES googlemock/CMakeLists.txt googletest/CMakeLists.txt
  PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "GoogleTest source tree, built when no installed GoogleTest is found")
if(NOT EXISTS "${KESTRUNE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest was not found. On Debian or Ubuntu install the package "
    "googletest (the source tree, which the Windows build needs) or libgtest-dev and "
    "libgmock-dev (native builds), e.g. with tools/install-deps.sh; or set "
    "KESTRUNE_GOOGLETEST_SOURCE_DIR to a GoogleTest source tree; or configure with "
    "-DKESTRUNE_TESTS=OFF to build the programs alone.")
endif()
message(STATUS "GoogleTest: built from ${KESTRUNE_GOOGLETEST_SOURCE_DIR}")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTRUNE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
