# SPDX-License-Identifier: GPL-3.0-or-later
# The version reader, against the test program's own version block and crafted files.
flipbook_add_test(version_info_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/version_info_test.cpp
  LIBRARIES flipbook_widgets flipbook_versionres flipbook_version_block
  LABELS widgets)
