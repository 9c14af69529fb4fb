# Serial channel figures: idle CPU of 27 console-mode ports, receive latency.
add_executable(channels_bench ${CMAKE_CURRENT_LIST_DIR}/channels_bench.cpp)
target_link_libraries(channels_bench PRIVATE termload_channels util)
