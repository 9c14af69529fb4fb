# Channel library on real pseudo-terminals.
termload_add_test(channels_e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/channels_normal_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_console_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/channels_trace_frames_test.cpp
  LIBS termload_channels util
  LABELS core e2e)
