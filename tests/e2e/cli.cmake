# termload-cli end to end: the real binary against ptys and termsim. Each suite is a binary of its
# own so that it can be run alone.
function(termload_cli_e2e_test name)
  termload_add_test(${name}
    SOURCES ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/cli_e2e_support.cpp ${ARGN}
    LIBS termload_cli_lib util
    LABELS core e2e
    TIMEOUT 600)
  target_compile_definitions(${name} PRIVATE
    TERMLOAD_CLI_PATH="$<TARGET_FILE:termload-cli>"
    TERMLOAD_TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(${name} termload-cli termsim)
endfunction()

if(TARGET termload-cli AND TARGET termsim)
  termload_cli_e2e_test(cli_e2e_tests
    ${CMAKE_CURRENT_LIST_DIR}/cli_clock_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cli_run_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cli_versions_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cli_ccid_test.cpp)
  # Ctrl-C campaign on 27 ports and output into a closed pipe (TERMLOAD_STOP_CAMPAIGN=50 for the
  # full campaign).
  termload_cli_e2e_test(cli_stop_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/cli_stop_test.cpp)
  # Kernel mode: the boot loader's console on a pty and the USB pipe through the real libusb into
  # termsim's umockdev device.
  if(NOT WIN32)
    termload_cli_e2e_test(cli_boot_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/cli_boot_test.cpp)
    # The demo into termsim's USB-HID device and CCID reader.
    termload_cli_e2e_test(cli_demo_transport_e2e_tests
      ${CMAKE_CURRENT_LIST_DIR}/cli_demo_transport_test.cpp)
  endif()
endif()
