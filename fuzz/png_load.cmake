flipbook_add_fuzzer(png_load
  SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/png_load.cpp
  LIBRARIES flipbook_png
  CORPUS ${FLIPBOOK_CORPUS_DIR}/png ${FLIPBOOK_CORPUS_DIR}/photos)
if(FLIPBOOK_BUILD_FUZZERS)
  # The codec itself must carry the coverage and sanitizer instrumentation, not only the harness.
  foreach(library flipbook_png flipbook_graphics)
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  endforeach()
endif()
