# The window's pictures for the documentation, and its responsiveness during a 27-port download.
if(TARGET termload_app)
  add_executable(gui_screenshots ${CMAKE_CURRENT_LIST_DIR}/gui_screenshots.cpp)
  target_link_libraries(gui_screenshots PRIVATE termload_app)
endif()
