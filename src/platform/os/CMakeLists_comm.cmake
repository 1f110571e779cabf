# qz_oscomm: communications devices (serial ports over termios) and the
# port map that turns Win32 port names into devices and print queues. No Qt.
add_library(qz_oscomm STATIC
  ${CMAKE_CURRENT_LIST_DIR}/comm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commspeed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portmap.cpp)
target_link_libraries(qz_oscomm PUBLIC qz_runtime)
find_package(Threads REQUIRED)
target_link_libraries(qz_oscomm PUBLIC Threads::Threads)
