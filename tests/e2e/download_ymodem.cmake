# The YMODEM sender on ptys: into lrzsz's rb through termsim's relay, and into termsim's faults.
if(TARGET termsim)
  termload_add_test(download_ymodem_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_ymodem_e2e_test.cpp
    LIBS termload_engine
    LABELS core e2e
    TIMEOUT 600)
  add_dependencies(download_ymodem_e2e_tests termsim)
endif()
