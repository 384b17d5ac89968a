# The link label, driven by Qt Test events with recorded desktop services.
flipbook_add_qtest(url_label_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/url_label_test.cpp ${CMAKE_CURRENT_LIST_DIR}/fake_desktop.h
  LIBRARIES flipbook_widgets
  LABELS widgets)
