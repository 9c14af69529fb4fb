termload_add_test(slots_unit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/slots_helpers_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/slots_table_test.cpp
  LIBS termload_engine termload_test_host
  LABELS core)
