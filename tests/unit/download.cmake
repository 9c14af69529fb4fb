# Unit tests of the file download: frames, CRC-32, texts, start checks.
termload_add_test(download_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/download_frame_test.cpp
  LIBS termload_core
  LABELS core)
