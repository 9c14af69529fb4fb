# termsim end to end: the real program on ptys, with lrzsz as an independent peer.
if(TARGET termsim)
  termload_add_test(sim_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_termsim_test.cpp
    LIBS termsim_lib
    LABELS core e2e
    TIMEOUT 600)
  add_dependencies(sim_e2e_tests termsim)
endif()
