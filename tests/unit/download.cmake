# Unit tests of the file download: CRC-32, start checks and texts, the file-version read.
termload_add_test(download_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/download_crc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_start_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_version_test.cpp
  LIBS termload_core
  LABELS core)

# The download flows and the boot console's exchanges over a scripted link, and the USB-CCID link
# over a fake resource manager: failure, restart and stop paths without a device.
if(NOT WIN32)
  termload_add_test(download_link_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/download_link_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/download_console_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/download_ccid_test.cpp
    LIBS termload_core termload_test_host
    LABELS core)
endif()

# The BIOS, kernel and root rows with a scripted console and USB device.
termload_add_test(download_usb_flow_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_usb_flow_test.cpp
  LIBS termload_core termload_test_host
  LABELS core)
