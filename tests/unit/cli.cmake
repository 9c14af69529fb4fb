# termload-cli: clock packet and the CLI's own records.
if(TARGET termload_cli_lib)
  termload_add_test(cli_unit_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_clock_packet_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_records_test.cpp
    LIBS termload_cli_lib termload_test_host
    LABELS core)
endif()
