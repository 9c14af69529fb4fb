# USB-HID through the real hidapi into termsim's umockdev device: termload-cli runs and the
# version read.
if(TARGET termsim_lib)
  get_target_property(_sim_defs termsim_lib INTERFACE_COMPILE_DEFINITIONS)
endif()
if(TARGET termload-cli AND TARGET termsim AND "TERMSIM_HAVE_UMOCKDEV" IN_LIST _sim_defs)
  add_executable(hid_version_peer ${CMAKE_CURRENT_LIST_DIR}/hid_version_peer.cpp)
  target_link_libraries(hid_version_peer PRIVATE termload_core)
  termload_add_test(hid_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/hid_run_test.cpp
    LABELS core e2e
    TIMEOUT 300)
  target_compile_definitions(hid_e2e_tests PRIVATE
    TERMLOAD_CLI_PATH="$<TARGET_FILE:termload-cli>"
    HID_VERSION_PEER_PATH="$<TARGET_FILE:hid_version_peer>")
  add_dependencies(hid_e2e_tests termload-cli termsim hid_version_peer)
endif()
