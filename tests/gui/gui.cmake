# Tests of the window (Qt Test helpers under GoogleTest, offscreen) and of the USB serial
# emulator lookup.
set(_gui_dir ${CMAKE_CURRENT_LIST_DIR})

# Its devices are links as under /dev/serial/by-path: POSIX only (Windows reads the registry).
if(NOT WIN32)
  termload_add_test(usb_serial_emulator_test
    SOURCES ${_gui_dir}/usb_serial_emulator_test.cpp
    LIBS termload_channels
    LABELS core)
endif()

if(TARGET termload_app)
  find_package(Qt6 REQUIRED COMPONENTS Test)

  # A window test: its own main() creates the QApplication; every TEST is a CTest test.
  function(termload_add_gui_test name)
    cmake_parse_arguments(G "" "TIMEOUT" "SOURCES;LABELS" ${ARGN})
    if(NOT G_TIMEOUT)
      set(G_TIMEOUT 300)
    endif()
    add_executable(${name} ${G_SOURCES} ${_gui_dir}/gui_test_main.cpp ${_gui_dir}/gui_test_support.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${_gui_dir})
    target_link_libraries(${name} PRIVATE termload_app termload_test_support termload_test_host
                          Qt6::Test GTest::gtest GTest::gmock Threads::Threads)
    if(WIN32)
      # Under Wine one CTest entry per program: listing its cases would start Wine at build time.
      termload_windows_qt_runtime(${name} TEST)
      add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
      math(EXPR _whole_program "${G_TIMEOUT} * 3")
      set_tests_properties(${name} PROPERTIES LABELS "gui;${G_LABELS}" TIMEOUT ${_whole_program}
                           ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    else()
      target_link_libraries(${name} PRIVATE util)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "gui;${G_LABELS}" TIMEOUT ${G_TIMEOUT}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
  endfunction()

  set(_window_tests ${_gui_dir}/gui_window_test.cpp ${_gui_dir}/gui_file_list_test.cpp
      ${_gui_dir}/gui_download_test.cpp ${_gui_dir}/gui_tally_test.cpp)
  # The tools' tests talk to pseudo-terminals.
  if(NOT WIN32)
    list(APPEND _window_tests ${_gui_dir}/gui_tools_test.cpp)
  endif()
  termload_add_gui_test(gui_window_test SOURCES ${_window_tests})
endif()

if(TARGET termload_app AND TARGET termsim)
  termload_add_gui_test(gui_e2e_test SOURCES ${_gui_dir}/gui_e2e_test.cpp LABELS e2e TIMEOUT 180)
  add_dependencies(gui_e2e_test termsim)
  # Its own program: the PC/SC client takes the daemon's socket once per process.
  termload_add_gui_test(gui_ccid_test SOURCES ${_gui_dir}/gui_ccid_test.cpp LABELS e2e TIMEOUT 120)
  add_dependencies(gui_ccid_test termsim)

  # The USB doors: the program itself needs umockdev's preload, loaded at its start, so it runs
  # as one CTest entry with the preload in its environment (under ASan the preload comes first).
  get_target_property(_gui_sim_defs termsim_lib INTERFACE_COMPILE_DEFINITIONS)
  if("TERMSIM_HAVE_UMOCKDEV" IN_LIST _gui_sim_defs)
    add_executable(gui_usb_doors_test ${_gui_dir}/gui_usb_doors_test.cpp
                   ${_gui_dir}/gui_test_main.cpp ${_gui_dir}/gui_test_support.cpp)
    target_include_directories(gui_usb_doors_test PRIVATE ${PROJECT_SOURCE_DIR}/src ${_gui_dir})
    target_link_libraries(gui_usb_doors_test PRIVATE termload_app termload_test_support Qt6::Test
                          GTest::gtest GTest::gmock Threads::Threads util)
    add_dependencies(gui_usb_doors_test termsim)
    add_test(NAME gui_usb_doors_test COMMAND gui_usb_doors_test)
    set_tests_properties(gui_usb_doors_test PROPERTIES
      LABELS "gui;e2e" TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LD_PRELOAD=libumockdev-preload.so.0;ASAN_OPTIONS=verify_asan_link_order=0")
  endif()
endif()
