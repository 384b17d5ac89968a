# SPDX-License-Identifier: GPL-3.0-or-later
# One warnings target that every first-party target links. Warnings are always on; they stop the
# build only when FLIPBOOK_WERROR asks, so a packager's compiler with new warnings still builds.
add_library(flipbook_warnings INTERFACE)
target_compile_options(flipbook_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough)
if(FLIPBOOK_WERROR)
  target_compile_options(flipbook_warnings INTERFACE -Werror)
endif()

# Links the settings and warnings targets to a first-party target.
function(flipbook_target target)
  target_link_libraries(${target} PRIVATE flipbook_settings flipbook_warnings)
endfunction()
