# The single executable needs nothing of the system but the C library:
# run where every other shared library is hidden (a mount namespace of its
# own), and the C library version it needs, checked against the README.

if(WIN32 OR NOT TARGET scrivel OR NOT SCRIVEL_LINUX_NATIVE)
  return()
endif()

set(dir ${CMAKE_CURRENT_LIST_DIR}/self_contained)
find_package(ZLIB REQUIRED)
add_executable(hide_libraries ${dir}/hide_libraries.cpp)
add_executable(self_contained_needs_zlib ${dir}/needs_zlib.c)
target_link_libraries(self_contained_needs_zlib PRIVATE ZLIB::ZLIB)

add_test(NAME self_contained_hidden_libraries COMMAND sh ${dir}/hidden_libraries.sh)
set_tests_properties(self_contained_hidden_libraries PROPERTIES
  ENVIRONMENT "SCRIVEL_EXE=$<TARGET_FILE:scrivel>;HIDE_LIBRARIES=$<TARGET_FILE:hide_libraries>;CONTROL=$<TARGET_FILE:self_contained_needs_zlib>;DEMO_PACKAGE=${PROJECT_SOURCE_DIR}/samples/Demo.upk"
  SKIP_RETURN_CODE 77
  TIMEOUT 120)

# The list the executable's archive is built from, configured the same way.
configure_file(${PROJECT_SOURCE_DIR}/bundle/files-linux.txt
  ${CMAKE_CURRENT_BINARY_DIR}/self_contained_files.list @ONLY)
add_test(NAME self_contained_libc_version
  COMMAND sh ${dir}/libc_version.sh $<TARGET_FILE:scrivel>
          ${CMAKE_CURRENT_BINARY_DIR}/self_contained_files.list ${PROJECT_SOURCE_DIR}/README.md)
