# Unpacking benchmark: BundleArchive loadInPlace + extractTo against the bare
# limit for the same bytes (inflate every entry in memory and write the
# files), on the launcher's own archive.
add_executable(unpack_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/unpack_bench.cpp)
target_link_libraries(unpack_bench PRIVATE scrivel_archive)
target_compile_definitions(unpack_bench PRIVATE
  SCRIVEL_BENCH_ARCHIVE="$<TARGET_PROPERTY:scrivel_archive_file,SCRIVEL_ARCHIVE_FILE>")
add_dependencies(benchmarks unpack_bench scrivel_archive_file)
