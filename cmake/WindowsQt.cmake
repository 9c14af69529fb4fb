# Qt for the Windows window: the mingw-w64 build that scripts/setup-windows-qt.sh leaves in its
# cache folder (or TERMLOAD_WINDOWS_QT, a Qt for mingw-w64 installed elsewhere). moc, rcc and uic
# are the build machine's own Qt tools, of the same release.
set(TERMLOAD_WINDOWS_QT "" CACHE PATH "Qt for mingw-w64 (the folder holding bin/ and lib/cmake/)")
if(NOT TERMLOAD_WINDOWS_QT)
  if(DEFINED ENV{TERMLOAD_QT_CACHE})
    set(_cache $ENV{TERMLOAD_QT_CACHE})
  elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(_cache $ENV{XDG_CACHE_HOME}/termload)
  else()
    set(_cache $ENV{HOME}/.cache/termload)
  endif()
  file(GLOB _built LIST_DIRECTORIES true ${_cache}/qt-*-mingw64/.complete)
  if(NOT _built)
    message(FATAL_ERROR "The window for Windows needs Qt built for mingw-w64, and there is none in "
            "${_cache}: run scripts/setup-windows-qt.sh, or configure with -DTERMLOAD_GUI=OFF.")
  endif()
  list(GET _built 0 _built)
  get_filename_component(_qt ${_built} DIRECTORY)
  set(TERMLOAD_WINDOWS_QT ${_qt} CACHE PATH "" FORCE)
endif()
message(STATUS "Qt for Windows: ${TERMLOAD_WINDOWS_QT}")
# The toolchain looks for packages under its find roots only.
list(APPEND CMAKE_FIND_ROOT_PATH ${TERMLOAD_WINDOWS_QT})
set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt, whose tools generate code")
file(GLOB _host_info /usr/lib/*/cmake/Qt6HostInfo)
if(NOT _host_info)
  message(FATAL_ERROR "The build machine's Qt tools are missing: run scripts/setup.sh")
endif()
list(GET _host_info 0 _host_info)
get_filename_component(_host_cmake ${_host_info} DIRECTORY)
set(QT_HOST_PATH_CMAKE_DIR ${_host_cmake} CACHE PATH "Where the build machine's Qt keeps its CMake files")

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

# What a window program needs beside it on Windows: the Qt libraries, the platform plugins (the
# Windows one, and the offscreen one the tests use), the native style, and the GCC runtime the Qt
# libraries link (the programs themselves link it statically).
set(TERMLOAD_QT_LIBRARIES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
set(TERMLOAD_QT_PLATFORMS $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
    $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>)
set(TERMLOAD_QT_STYLES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)
set(TERMLOAD_GCC_RUNTIME)
foreach(_dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                  OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
    message(FATAL_ERROR "${_dll} of the mingw-w64 compiler is missing: run scripts/setup-windows.sh")
  endif()
  list(APPEND TERMLOAD_GCC_RUNTIME ${_path})
endforeach()

# termload_windows_qt_runtime(TARGET [TEST]): copies that runtime (and Qt Test, for a test) beside
# TARGET after each build, so the program runs from the build tree, under Wine or on Windows.
function(termload_windows_qt_runtime target)
  set(_libraries ${TERMLOAD_QT_LIBRARIES})
  if("TEST" IN_LIST ARGN)
    list(APPEND _libraries $<TARGET_FILE:Qt6::Test>)
  endif()
  set(_dir $<TARGET_FILE_DIR:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}/platforms ${_dir}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_libraries} ${TERMLOAD_GCC_RUNTIME} ${_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TERMLOAD_QT_PLATFORMS} ${_dir}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TERMLOAD_QT_STYLES} ${_dir}/styles
    VERBATIM)
endfunction()
