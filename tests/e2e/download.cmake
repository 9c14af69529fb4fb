# The file download on pseudo-terminals: with the test as the terminal, and against termsim.
if(NOT WIN32)
  termload_add_test(download_pty_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/download_flow_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/download_harness.cpp
    LIBS termload_core termload_test_host util
    LABELS core e2e
    TIMEOUT 600)
endif()

if(TARGET termsim AND TARGET termload_cli_lib)
  termload_add_test(download_termsim_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/download_termsim_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/download_kernel_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/download_harness.cpp
    LIBS termload_core termload_cli_lib termload_test_host util
    LABELS core e2e
    TIMEOUT 900)
  add_dependencies(download_termsim_tests termsim)
endif()
