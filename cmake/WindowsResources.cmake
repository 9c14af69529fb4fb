# termload_windows_resources(TARGET DESCRIPTION): gives a Windows program the project's icon and
# version information (packaging/windows/termload.rc.in).
function(termload_windows_resources target description)
  set(RC_PROGRAM ${target})
  set(RC_DESCRIPTION ${description})
  set(RC_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/termload.ico)
  set(_rc ${PROJECT_BINARY_DIR}/generated/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/termload.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
