# The CCID reader channel against a real pcscd that termsim starts with its own reader driver.
if(TARGET termsim)
  termload_add_test(ccid_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ccid_pcscd_test.cpp
    LIBS termload_core nlohmann_json::nlohmann_json
    LABELS core e2e
    TIMEOUT 300)
  add_dependencies(ccid_e2e_tests termsim)
endif()
