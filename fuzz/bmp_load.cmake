flipbook_add_fuzzer(bmp_load SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/bmp_load.cpp
  LIBRARIES flipbook_bmp
  CORPUS ${FLIPBOOK_CORPUS_DIR}/bmp/g ${FLIPBOOK_CORPUS_DIR}/bmp/q ${FLIPBOOK_CORPUS_DIR}/bmp/b)
if(FLIPBOOK_BUILD_FUZZERS)
  # Coverage and sanitizer checks belong in the code under test, not only in the harness.
  foreach(library flipbook_bmp flipbook_graphics)
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  endforeach()
endif()
