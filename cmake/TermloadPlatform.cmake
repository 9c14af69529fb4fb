# The one rule that picks a module's platform backends: every module's sources are its *.cpp
# files, of which *_win32.cpp are built for Windows only, *_posix.cpp and *_libusb.cpp everywhere
# else, and *_linux.cpp on Linux only.
function(termload_module_sources out_var)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER _sources EXCLUDE REGEX ".*_(posix|linux|libusb)\\.cpp$")
  else()
    list(FILTER _sources EXCLUDE REGEX ".*_win32\\.cpp$")
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
      list(FILTER _sources EXCLUDE REGEX ".*_linux\\.cpp$")
    endif()
  endif()
  set(${out_var} ${_sources} PARENT_SCOPE)
endfunction()

# Windows headers without the min/max macros that break std::min and std::max.
if(WIN32)
  add_compile_definitions(NOMINMAX)
endif()
