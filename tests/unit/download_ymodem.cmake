# The YMODEM sender against a scripted receiver, CRC-16 and the sender's texts.
termload_add_test(download_ymodem_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_ymodem_test.cpp
  LIBS termload_engine
  LABELS core)
