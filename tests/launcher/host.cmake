# Tests of runtime hosting, the OS layer and the driver.
#
# A fake runtime library records the calls it receives; launchers built
# around archives of their own (fake runtime, broken runtime, no archive)
# let the driver be run as a process without the real runtime. The real
# executable is tested end to end by launcher_end_to_end_tests.

if(WIN32 OR NOT TARGET scrivel_host)
  return()
endif()

set(fake_dir ${CMAKE_CURRENT_BINARY_DIR}/fake_runtime)

add_library(scrivel_fake_runtime SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_runtime/fake_runtime.cpp)
add_library(scrivel_fake_runtime_partial SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_runtime/fake_runtime.cpp)
target_compile_definitions(scrivel_fake_runtime_partial PRIVATE FAKE_RUNTIME_WITHOUT_EXEC)
add_library(scrivel_fake_runtime_foreign SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_runtime/fake_runtime.cpp)
target_compile_definitions(scrivel_fake_runtime_foreign PRIVATE FAKE_RUNTIME_FOREIGN)
set_target_properties(scrivel_fake_runtime scrivel_fake_runtime_partial scrivel_fake_runtime_foreign PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${fake_dir}
  NO_SONAME ON)

set(SCRIVEL_FAKE_RUNTIME_FILE ${fake_dir}/libscrivel_fake_runtime.so)
scrivel_build_archive(${fake_dir}/fake.arch ${CMAKE_CURRENT_LIST_DIR}/fake_runtime/files-fake.txt
  DEPENDS scrivel_fake_runtime TARGET scrivel_fake_archive)
scrivel_build_archive(${fake_dir}/broken.arch ${CMAKE_CURRENT_LIST_DIR}/fake_runtime/files-broken.txt
  TARGET scrivel_broken_archive)

scrivel_add_launcher(scrivel_fake_launcher scrivel_fake_archive)
scrivel_add_launcher(scrivel_broken_launcher scrivel_broken_archive)
scrivel_add_launcher(scrivel_bare_launcher "")
set_target_properties(scrivel_fake_launcher scrivel_broken_launcher scrivel_bare_launcher PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${fake_dir})

add_library(scrivel_driver_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/driver_test_support.cpp)
target_link_libraries(scrivel_driver_test_support PUBLIC GTest::gtest)

# The OS layer and the runtime start, in-process (children forked where the
# process must end).
add_executable(launcher_host_tests
  ${CMAKE_CURRENT_LIST_DIR}/host_linux_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runtime_host_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/utf8_argument_test.cpp)
target_link_libraries(launcher_host_tests PRIVATE scrivel_host scrivel_driver_test_support GTest::gtest_main)
target_compile_definitions(launcher_host_tests PRIVATE
  FAKE_RUNTIME="$<TARGET_FILE:scrivel_fake_runtime>"
  FAKE_RUNTIME_PARTIAL="$<TARGET_FILE:scrivel_fake_runtime_partial>")
add_dependencies(launcher_host_tests scrivel_fake_runtime scrivel_fake_runtime_partial)
gtest_discover_tests(launcher_host_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

# The driver as a process, around the fake runtime; the hostile cases also
# with a library another user would slip in.
add_executable(launcher_driver_tests
  ${CMAKE_CURRENT_LIST_DIR}/driver_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_hostile_test.cpp)
target_link_libraries(launcher_driver_tests PRIVATE scrivel_host scrivel_driver_test_support GTest::gtest_main)
target_compile_definitions(launcher_driver_tests PRIVATE
  FAKE_LAUNCHER="$<TARGET_FILE:scrivel_fake_launcher>"
  BROKEN_LAUNCHER="$<TARGET_FILE:scrivel_broken_launcher>"
  BARE_LAUNCHER="$<TARGET_FILE:scrivel_bare_launcher>"
  FOREIGN_RUNTIME="$<TARGET_FILE:scrivel_fake_runtime_foreign>")
add_dependencies(launcher_driver_tests scrivel_fake_launcher scrivel_broken_launcher scrivel_bare_launcher
  scrivel_fake_runtime_foreign)
gtest_discover_tests(launcher_driver_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)

# The single executable with the real runtime, compared with the tool run
# directly by the system's runtime.
find_program(MONO_EXECUTABLE mono)
if(TARGET scrivel AND MONO_EXECUTABLE)
  add_executable(launcher_end_to_end_tests ${CMAKE_CURRENT_LIST_DIR}/driver_end_to_end_test.cpp)
  target_link_libraries(launcher_end_to_end_tests PRIVATE scrivel_driver_test_support GTest::gtest_main)
  target_compile_definitions(launcher_end_to_end_tests PRIVATE
    SCRIVEL_EXECUTABLE="$<TARGET_FILE:scrivel>"
    SCRIVEL_TOOL="${SCRIVEL_TOOL_EXE}"
    SCRIVEL_MONO="${MONO_EXECUTABLE}"
    SCRIVEL_SAMPLE_PACKAGE="${PROJECT_SOURCE_DIR}/samples/Demo.upk")
  add_dependencies(launcher_end_to_end_tests scrivel)
  gtest_discover_tests(launcher_end_to_end_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
endif()
