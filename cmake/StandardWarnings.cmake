# One warnings target that every first-party target links.
add_library(flipbook_warnings INTERFACE)
target_compile_options(flipbook_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough)
if(FLIPBOOK_WARNINGS_AS_ERRORS)
  target_compile_options(flipbook_warnings INTERFACE -Werror)
endif()

# Links the settings and warnings targets to a first-party target.
function(flipbook_target target)
  target_link_libraries(${target} PRIVATE flipbook_settings flipbook_warnings)
endfunction()
