# SPDX-License-Identifier: GPL-3.0-or-later
flipbook_add_fuzzer(png_load
  SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/png_load.cpp
  LIBRARIES flipbook_png
  CORPUS ${FLIPBOOK_CORPUS_DIR}/png ${FLIPBOOK_CORPUS_DIR}/photos)
