# The file download on pseudo-terminals: with the test as the terminal, and against termsim.
termload_add_test(download_flow_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/download_flow_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_harness.cpp
  LIBS termload_core ZLIB::ZLIB util
  LABELS core e2e
  TIMEOUT 600)
