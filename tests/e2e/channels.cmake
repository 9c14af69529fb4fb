# Channel library on real pseudo-terminals (Windows: channels_wine.cmake).
if(NOT WIN32)
  termload_add_test(channels_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/channels_normal_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/channels_console_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/channels_trace_frames_test.cpp
    LIBS termload_channels util
    LABELS core e2e)
endif()
# The USB bulk pipe through the real libusb into termsim's umockdev device.
if(TARGET termsim AND NOT WIN32)
  add_executable(channels_usb_pipe_peer ${CMAKE_CURRENT_LIST_DIR}/channels_usb_pipe_peer.cpp)
  target_link_libraries(channels_usb_pipe_peer PRIVATE termload_channels)
  termload_add_test(channels_usb_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/channels_usb_pipe_test.cpp
    LABELS core e2e)
  target_compile_definitions(channels_usb_e2e_tests PRIVATE
                             USB_PEER_PATH="$<TARGET_FILE:channels_usb_pipe_peer>")
  add_dependencies(channels_usb_e2e_tests termsim channels_usb_pipe_peer)
endif()
