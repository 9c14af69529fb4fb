# Fuzzers of the configuration reader and the user address file reader. Each starts from its
# seed files in corpus/ (read only) unless a corpus is named on its command line.
foreach(_config_fuzzer config_reader config_user_addr)
  file(GLOB _config_seeds CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/corpus/${_config_fuzzer}/*)
  list(JOIN _config_seeds "," _config_seed_list)
  termload_add_fuzzer(${_config_fuzzer}_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_config_fuzzer}_fuzz.cpp
            ${CMAKE_CURRENT_LIST_DIR}/config_fuzz_seeds.cpp
    LIBS termload_config
    SECONDS 20)
  if(TARGET ${_config_fuzzer}_fuzz)
    target_compile_definitions(${_config_fuzzer}_fuzz PRIVATE
      TERMLOAD_FUZZ_SEEDS="${_config_seed_list}")
  endif()
endforeach()
