# SPDX-License-Identifier: GPL-3.0-or-later
flipbook_add_fuzzer(bmp_load SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/bmp_load.cpp
  LIBRARIES flipbook_bmp
  CORPUS ${FLIPBOOK_CORPUS_DIR}/bmp/g ${FLIPBOOK_CORPUS_DIR}/bmp/q ${FLIPBOOK_CORPUS_DIR}/bmp/b)
