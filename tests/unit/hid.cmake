# The HID reports of the link, checked against termsim's own reply reports.
if(TARGET termsim_lib)
  get_target_property(_sim_defs termsim_lib INTERFACE_COMPILE_DEFINITIONS)
endif()
if(TARGET termsim_lib AND "TERMSIM_HAVE_UMOCKDEV" IN_LIST _sim_defs)
  termload_add_test(hid_unit_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/hid_reports_test.cpp
    LIBS termload_core termsim_lib
    LABELS core)
endif()
