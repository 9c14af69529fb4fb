# The YMODEM sender under any receiver replies.
termload_add_fuzzer(ymodem_replies_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ymodem_replies_fuzz.cpp
  LIBS termload_engine
  SECONDS 20)
if(TARGET ymodem_replies_fuzz)
  target_include_directories(ymodem_replies_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endif()
