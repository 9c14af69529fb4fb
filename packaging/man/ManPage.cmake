# Writes a manual page from a template and the program's own --help texts, so that the page lists
# exactly the commands and options the program takes, then compresses it the way Debian wants.
#   cmake [-DPROGRAM=exe] -DNAME=name -DTEMPLATE=x.1.in -DOUTPUT=x.1.gz [-DSUBCOMMANDS=a;b]
#         -DPROJECT_VERSION=v -DMAN_DATE=yyyy-mm-dd -P ManPage.cmake
foreach(_var NAME TEMPLATE OUTPUT PROJECT_VERSION MAN_DATE)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "ManPage.cmake: ${_var} is not set")
  endif()
endforeach()

# The help text of `PROGRAM args... --help` as a no-fill roff block.
function(help_block out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE _text RESULT_VARIABLE _rc
                  ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0 OR _text STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${_rc}): ${_err}")
  endif()
  # The usage line names the program as it was started: show its plain name.
  string(REPLACE "${PROGRAM}" "${NAME}" _text "${_text}")
  string(REPLACE "\\" "\\e" _text "${_text}")
  string(REPLACE "-" "\\-" _text "${_text}")
  string(REGEX REPLACE "\n+$" "" _text "${_text}")
  # A line that starts with . or ' would be taken for a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" _text "${_text}")
  set(_block ".nf\n${_text}\n.fi")
  set(${out} "${_block}" PARENT_SCOPE)
endfunction()

# Without a program the template is the whole page.
set(TOP_HELP "")
if(DEFINED PROGRAM)
  help_block(TOP_HELP)
endif()
set(COMMANDS "")
foreach(_command IN LISTS SUBCOMMANDS)
  help_block(_help ${_command})
  string(APPEND COMMANDS ".SS ${_command}\n${_help}\n")
endforeach()
string(REGEX REPLACE "\n$" "" COMMANDS "${COMMANDS}")

get_filename_component(_dir "${OUTPUT}" DIRECTORY)
get_filename_component(_page "${OUTPUT}" NAME_WLE)
configure_file(${TEMPLATE} ${_dir}/${_page} @ONLY)
execute_process(COMMAND gzip -9n -c ${_dir}/${_page} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "gzip ${_page} failed")
endif()
