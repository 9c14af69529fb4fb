# The download's pass time against its prescribed pacing, on 1 and 27 ports against termsim.
if(TARGET termsim AND TARGET termload_cli_lib)
  add_executable(download_pass_bench ${CMAKE_CURRENT_LIST_DIR}/download_pass_bench.cpp)
  target_link_libraries(download_pass_bench PRIVATE termload_core termload_cli_lib util)
  target_compile_definitions(download_pass_bench PRIVATE TERMSIM_PATH="$<TARGET_FILE:termsim>")
  add_dependencies(download_pass_bench termsim)
endif()
