# The YMODEM sender on ptys: into lrzsz's rb through termsim's relay, and into termsim's faults.
if(TARGET termsim)
  termload_add_test(download_ymodem_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_ymodem_e2e_test.cpp
    LIBS termload_engine
    LABELS core e2e
    TIMEOUT 600)
  add_dependencies(download_ymodem_e2e_tests termsim)
  # rb's own time-outs do not stretch for a starved relay: with the 27-port suites beside it on a
  # two-core machine, rb gave up in the middle of a file now and then. It runs alone.
  set_tests_properties(download_ymodem_e2e_tests PROPERTIES RUN_SERIAL TRUE)
endif()
