# USB-CCID frame rate through the real pcscd and termsim's reader, against the prescribed pacing.
if(TARGET termsim AND TARGET termload_cli_lib)
  add_executable(ccid_bench ${CMAKE_CURRENT_LIST_DIR}/ccid_bench.cpp)
  target_link_libraries(ccid_bench PRIVATE termload_core termload_cli_lib util)
  target_compile_definitions(ccid_bench PRIVATE TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(ccid_bench termsim)
endif()
