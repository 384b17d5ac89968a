# SPDX-License-Identifier: GPL-3.0-or-later
# The link label, driven by Qt Test events with recorded desktop services. It runs on the offscreen
# platform, whose pointer belongs to this process alone: other GUI tests sharing the X server cannot
# move it while the hover tests look where it is.
flipbook_add_qtest(url_label_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/url_label_test.cpp
  LIBRARIES flipbook_widgets
  LABELS widgets
  ENVIRONMENT QT_QPA_PLATFORM=offscreen)
