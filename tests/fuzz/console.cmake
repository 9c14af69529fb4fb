# The boot console's reply matching under any text a terminal may send, in any chunks.
termload_add_fuzzer(console_match_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_match_fuzz.cpp
  LIBS termload_engine
  SECONDS 20)
