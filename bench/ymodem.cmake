# Our YMODEM sender against lrzsz's sz, into rb over termsim's paced relay.
if(TARGET termsim)
  add_executable(ymodem_bench ${CMAKE_CURRENT_LIST_DIR}/ymodem_bench.cpp)
  target_include_directories(ymodem_bench PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(ymodem_bench PRIVATE termload_engine)
  target_compile_definitions(ymodem_bench PRIVATE TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(ymodem_bench termsim)
endif()
