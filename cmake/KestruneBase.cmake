# Interface targets every target of ours links, instead of directory-wide
# settings that would also reach third-party code.
#
# kestrune_base (PUBLIC): the source root as include folder, and on Windows
# the Unicode API and the lean subset of windows.h.
add_library(kestrune_base INTERFACE)
target_include_directories(kestrune_base INTERFACE ${PROJECT_SOURCE_DIR})
if(WIN32)
  target_compile_definitions(kestrune_base INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

# Warnings are errors in our own code. Linked PRIVATE, so they never pass on
# to the targets that use a library.
add_library(kestrune_warnings INTERFACE)
target_compile_options(kestrune_warnings INTERFACE -Wall -Wextra -Werror)

# The portable code (image, isp, cli, target) is held to more: no shadowed
# names and no silently narrowing conversions.
add_library(kestrune_portable_warnings INTERFACE)
target_compile_options(kestrune_portable_warnings INTERFACE -Wshadow -Wconversion)
target_link_libraries(kestrune_portable_warnings INTERFACE kestrune_warnings)
