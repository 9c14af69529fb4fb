# Channel library: trace log layout, the COM port table, the serial port's portable rules, the
# USB pipe's image, the CCID reader's requests and replies.
termload_add_test(channels_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/channels_trace_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_port_map_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_serial_rules_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_usb_image_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_ccid_test.cpp
  LIBS termload_channels
  LABELS core)
