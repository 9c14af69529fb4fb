if(NOT WIN32)
  termload_add_test(slots_e2e_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/slots_channel_test.cpp
    LIBS termload_engine termload_channels termload_test_host util
    LABELS core e2e)
endif()
