# Channel library: trace log layout, the COM port table, the serial port's portable rules, the
# USB pipe's image, the CCID reader's requests and replies, Windows' port and device names.
set(_channels_unit_sources
    ${CMAKE_CURRENT_LIST_DIR}/channels_trace_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/channels_serial_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/channels_usb_image_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/channels_ccid_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/channels_windows_names_test.cpp)
# The port table's tests set the POSIX per-user store's location through the environment.
if(NOT WIN32)
  list(APPEND _channels_unit_sources ${CMAKE_CURRENT_LIST_DIR}/channels_port_map_test.cpp)
endif()
termload_add_test(channels_unit_tests
  SOURCES ${_channels_unit_sources}
  LIBS termload_channels
  LABELS core)
