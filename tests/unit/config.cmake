termload_add_test(config_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/config_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_file_list_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_address_test.cpp
  LIBS termload_config termload_engine
  LABELS core)
