# The libraries of a Windows cross-build. Debian's mingw-w64 packages carry zlib only; the
# header-only libraries (CLI11, nlohmann-json, SimpleIni's header) come from the build machine's own
# packages, each header tree linked alone so that no Linux system header can shadow mingw's;
# hidapi's Windows backend is compiled from Debian's hidapi source package
# (scripts/setup-windows.sh fetches it). libserialport, libusb and pcsc-lite are not used on
# Windows: port enumeration is SetupAPI, the USB pipe is the driver's named pipe, PC/SC is winscard.

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Where those headers are: the build machine's /usr/include when cross-building from Debian; on
# Windows, e.g. vcpkg's include directory.
set(TERMLOAD_HEADER_LIBRARIES_DIR "/usr/include"
    CACHE PATH "Directory holding nlohmann/, CLI/ and SimpleIni.h")
set(_host_headers ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_host_headers})
foreach(_header IN ITEMS nlohmann CLI SimpleIni.h)
  if(NOT EXISTS ${TERMLOAD_HEADER_LIBRARIES_DIR}/${_header})
    message(FATAL_ERROR "${TERMLOAD_HEADER_LIBRARIES_DIR}/${_header} is missing: run scripts/setup.sh")
  endif()
  file(CREATE_LINK ${TERMLOAD_HEADER_LIBRARIES_DIR}/${_header} ${_host_headers}/${_header}
       COPY_ON_ERROR SYMBOLIC)
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${_host_headers})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${_host_headers})
# Debian's SimpleIni keeps its template's code behind SI_IMPLEMENTATION and ships it compiled;
# here it is compiled once for the one instance the configuration code uses.
# Written only when it changes, so that a new configure does not rebuild it.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/simpleini.cpp
     CONTENT "#define SI_NO_CONVERSION\n#define SI_IMPLEMENTATION\n#include <SimpleIni.h>\ntemplate class CSimpleIniTempl<char, SI_GenericNoCase<char>, SI_ConvertA<char>>;\n")
add_library(termload_simpleini STATIC ${PROJECT_BINARY_DIR}/generated/simpleini.cpp)
target_include_directories(termload_simpleini SYSTEM PUBLIC ${_host_headers})
target_compile_options(termload_simpleini PRIVATE -w)
add_library(PkgConfig::SIMPLEINI ALIAS termload_simpleini)

set(TERMLOAD_HIDAPI_SOURCE "${PROJECT_SOURCE_DIR}/build/third-party/hidapi"
    CACHE PATH "Unpacked hidapi source tree (its windows/hid.c is built)")
if(NOT EXISTS ${TERMLOAD_HIDAPI_SOURCE}/windows/hid.c)
  message(FATAL_ERROR "hidapi source not found in ${TERMLOAD_HIDAPI_SOURCE}: "
                      "run scripts/setup-windows.sh")
endif()
add_library(termload_hidapi STATIC ${TERMLOAD_HIDAPI_SOURCE}/windows/hid.c)
target_include_directories(termload_hidapi PUBLIC ${TERMLOAD_HIDAPI_SOURCE}/hidapi
                                                  ${TERMLOAD_HIDAPI_SOURCE}/windows)
target_compile_options(termload_hidapi PRIVATE -w)
add_library(PkgConfig::HIDAPI ALIAS termload_hidapi)
