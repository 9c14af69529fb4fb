# Fuzzers of the configuration reader and the user address file reader.
foreach(_config_fuzzer config_reader config_user_addr)
  termload_add_fuzzer(${_config_fuzzer}_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_config_fuzzer}_fuzz.cpp
    LIBS termload_config
    SECONDS 20)
endforeach()
