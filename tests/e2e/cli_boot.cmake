# Kernel mode through termload-cli: the boot loader's console on a pty and the USB pipe through
# the real libusb into termsim's umockdev device.
if(TARGET termload-cli AND TARGET termsim AND NOT WIN32)
  termload_add_test(cli_boot_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_e2e_support.cpp
            ${CMAKE_CURRENT_LIST_DIR}/cli_boot_test.cpp
    LIBS termload_cli_lib util
    LABELS core e2e
    TIMEOUT 600)
  target_compile_definitions(cli_boot_e2e_tests PRIVATE
    TERMLOAD_CLI_PATH="$<TARGET_FILE:termload-cli>"
    TERMLOAD_TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(cli_boot_e2e_tests termload-cli termsim)
endif()
