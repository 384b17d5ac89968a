# SPDX-License-Identifier: GPL-3.0-or-later
# The folder chooser: its file-system rules without a screen, and the real dialog driven by Qt Test.
flipbook_add_test(select_dir_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/select_dir_rules_test.cpp
  LIBRARIES flipbook_widgets
  LABELS widgets)
flipbook_add_qtest(select_dir_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/select_dir_test.cpp
  LIBRARIES flipbook_widgets
  LABELS widgets)
