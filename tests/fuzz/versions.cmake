# The file-version read's parsers: the terminal's reply and the local version list.
foreach(_versions_fuzzer version_reply local_versions)
  termload_add_fuzzer(${_versions_fuzzer}_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_versions_fuzzer}_fuzz.cpp
    LIBS termload_engine
    SECONDS 20)
endforeach()
