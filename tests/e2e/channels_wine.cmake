# Windows builds: the serial backend on COM1 and COM2 of a Wine prefix, joined by a socat pty
# pair. The wrapper sets up the prefix (scripts/wine-env.sh), points the ports at the pair and
# runs the test under Wine.
if(WIN32)
  add_executable(channels_wine_serial_tests ${CMAKE_CURRENT_LIST_DIR}/channels_wine_serial_test.cpp)
  target_include_directories(channels_wine_serial_tests PRIVATE ${PROJECT_SOURCE_DIR}/src
                                                                 ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(channels_wine_serial_tests PRIVATE termload_channels termload_test_support
                        GTest::gtest GTest::gtest_main Threads::Threads)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_wine_arch x64)
  else()
    set(_wine_arch x86)
  endif()
  add_test(NAME channels_wine_serial_tests
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/channels_wine_serial.sh
                   $<TARGET_FILE:channels_wine_serial_tests> ${_wine_arch})
  set_tests_properties(channels_wine_serial_tests PROPERTIES LABELS "core;e2e;wine" TIMEOUT 300)
endif()
