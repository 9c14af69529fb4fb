# termload-cli end to end: the real binary against ptys and termsim.
if(TARGET termload-cli AND TARGET termsim)
  termload_add_test(cli_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_e2e_support.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_clock_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_run_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_versions_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_ccid_test.cpp
    LIBS termload_cli_lib util
    LABELS core e2e
    TIMEOUT 600)
  target_compile_definitions(cli_e2e_tests PRIVATE
    TERMLOAD_CLI_PATH="$<TARGET_FILE:termload-cli>"
    TERMLOAD_TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(cli_e2e_tests termload-cli termsim)
endif()

# Ctrl-C campaign on 27 ports and output into a closed pipe; a binary of its own so that it can be
# run alone (TERMLOAD_STOP_CAMPAIGN=50 for the full campaign).
if(TARGET termload-cli AND TARGET termsim)
  termload_add_test(cli_stop_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_e2e_support.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_stop_test.cpp
    LIBS termload_cli_lib util
    LABELS core e2e
    TIMEOUT 600)
  target_compile_definitions(cli_stop_e2e_tests PRIVATE
    TERMLOAD_CLI_PATH="$<TARGET_FILE:termload-cli>"
    TERMLOAD_TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(cli_stop_e2e_tests termload-cli termsim)
endif()
