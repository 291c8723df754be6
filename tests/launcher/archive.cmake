# Tests of the archive: reader, byte buffer, names, file-system layer, the
# build step and the embedding in an executable.
set(archive_support ${CMAKE_CURRENT_LIST_DIR}/archive_test_files.cpp)

add_executable(archive_reader_test
  ${archive_support}
  ${CMAKE_CURRENT_LIST_DIR}/archive_byte_buffer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_entry_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_fs_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_unpack_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_hostile_test.cpp)
target_link_libraries(archive_reader_test PRIVATE scrivel_archive GTest::gtest_main)
gtest_discover_tests(archive_reader_test)

add_executable(archive_builder_test ${archive_support} ${CMAKE_CURRENT_LIST_DIR}/archive_builder_test.cpp)
target_link_libraries(archive_builder_test PRIVATE scrivel_archive GTest::gtest_main)
target_compile_definitions(archive_builder_test PRIVATE
  SCRIVEL_ARCHIVE_BUILDER="$<TARGET_FILE:archive_builder>")
add_dependencies(archive_builder_test archive_builder)
gtest_discover_tests(archive_builder_test)

if(NOT WIN32)
  set(embed_archive ${CMAKE_CURRENT_BINARY_DIR}/archive_embed_test.arch)
  scrivel_build_archive(${embed_archive} ${CMAKE_CURRENT_LIST_DIR}/archive_embed_list.txt
    TARGET archive_embed_test_archive)
  set(empty_archive ${CMAKE_CURRENT_BINARY_DIR}/archive_embed_empty.arch)
  file(WRITE ${empty_archive} "")

  foreach(variant full empty none)
    set(exe archive_embed_${variant}_test)
    add_executable(${exe} ${archive_support} ${CMAKE_CURRENT_LIST_DIR}/archive_embed_test.cpp)
    target_link_libraries(${exe} PRIVATE scrivel_archive GTest::gtest_main)
    gtest_discover_tests(${exe} TEST_PREFIX "${variant}.")
  endforeach()
  scrivel_embed_archive(archive_embed_full_test archive_embed_test_archive)
  target_compile_definitions(archive_embed_full_test PRIVATE
    SCRIVEL_EXPECTED_ARCHIVE="${embed_archive}"
    SCRIVEL_TEST_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}"
    SCRIVEL_PROJECT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  scrivel_embed_archive(archive_embed_empty_test ${empty_archive})
endif()
