# Our YMODEM sender against lrzsz's sz, into rb over termsim's paced relay.
# termsim, rb and sz are run by the tests' own helpers.
if(TARGET termsim AND TARGET termload_test_support)
  add_executable(ymodem_bench ${CMAKE_CURRENT_LIST_DIR}/ymodem_bench.cpp)
  target_include_directories(ymodem_bench PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(ymodem_bench PRIVATE termload_engine termload_test_support)
  add_dependencies(ymodem_bench termsim)
endif()
