# Channel library: trace log layout and the COM port table.
termload_add_test(channels_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/channels_trace_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_port_map_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_usb_image_test.cpp
  LIBS termload_channels
  LABELS core)
