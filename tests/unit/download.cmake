# Unit tests of the file download: CRC-32, start checks and texts.
termload_add_test(download_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/download_crc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_start_test.cpp
  LIBS termload_core
  LABELS core)
