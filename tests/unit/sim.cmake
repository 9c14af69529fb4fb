# termsim's core: frames, YMODEM receiver, boot console, command packets, terminal, CCID side.
if(TARGET termsim_lib)
  termload_add_test(sim_unit_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_frames_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/sim_ymodem_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/sim_console_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/sim_packets_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/sim_usb_image_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/sim_ccid_test.cpp
    LIBS termsim_lib
    LABELS core)
  # Everything a tool could send, into one terminal.
  termload_add_fuzzer(sim_terminal_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_terminal_fuzz.cpp
    LIBS termsim_lib)
endif()
