# Unpacking benchmark: BundleArchive load + extractTo against the bare limit
# for the same bytes (inflate every entry in memory and write the files).
# It runs on the launcher's own archive when that is built, otherwise on a
# stand-in of similar size (unpack.list.txt).
add_executable(unpack_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/unpack_bench.cpp)
target_link_libraries(unpack_bench PRIVATE scrivel_archive)
add_dependencies(benchmarks unpack_bench)

if(TARGET scrivel_archive_file)
  get_target_property(unpack_bench_archive scrivel_archive_file SCRIVEL_ARCHIVE_FILE)
  add_dependencies(benchmarks scrivel_archive_file)
else()
  set(unpack_bench_archive ${CMAKE_CURRENT_BINARY_DIR}/unpack_sample.arch)
  scrivel_build_archive(${unpack_bench_archive} ${CMAKE_CURRENT_LIST_DIR}/unpack.list.txt
                        TARGET unpack_sample_archive EXCLUDE_FROM_ALL)
  add_dependencies(benchmarks unpack_sample_archive)
endif()
target_compile_definitions(unpack_bench PRIVATE SCRIVEL_BENCH_ARCHIVE="${unpack_bench_archive}")
