# SPDX-License-Identifier: GPL-3.0-or-later
flipbook_add_fuzzer(jpeg_load SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/jpeg_load.cpp
  LIBRARIES flipbook_jpeg
  CORPUS ${FLIPBOOK_CORPUS_DIR}/jpeg)
if(FLIPBOOK_BUILD_FUZZERS)
  # Coverage and sanitizer checks belong in the adapter too, not only in the harness.
  target_compile_options(flipbook_jpeg PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endif()
