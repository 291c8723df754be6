# Launcher benchmark: a full run of the single executable against its floor
# (the same archive inflated in memory only, plus the tool run by the same
# hosting code on an already unpacked folder) and against the system's own
# runtime running the tool directly.
#   cmake --build <build> --target benchmarks && <build>/bench/launcher_bench [rounds] [tool arguments...]
if(WIN32 OR NOT TARGET scrivel OR NOT TARGET scrivel_tool)
  return()
endif()
find_program(MONO_EXECUTABLE mono)

get_target_property(launcher_bench_archive scrivel_archive_file SCRIVEL_ARCHIVE_FILE)

add_executable(launcher_floor EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/launcher_floor.cpp)
target_link_libraries(launcher_floor PRIVATE scrivel_host)
target_link_options(launcher_floor PRIVATE -static-libstdc++ -static-libgcc)
scrivel_embed_archive(launcher_floor scrivel_archive_file)

add_executable(launcher_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/launcher_bench.cpp)
target_link_libraries(launcher_bench PRIVATE scrivel_archive)
target_compile_definitions(launcher_bench PRIVATE
  SCRIVEL_EXECUTABLE="$<TARGET_FILE:scrivel>"
  SCRIVEL_FLOOR="$<TARGET_FILE:launcher_floor>"
  SCRIVEL_ARCHIVE_FILE="${launcher_bench_archive}"
  SCRIVEL_TOOL="${SCRIVEL_TOOL_EXE}"
  SCRIVEL_MONO="${MONO_EXECUTABLE}")
add_dependencies(launcher_bench scrivel launcher_floor)
add_dependencies(benchmarks launcher_bench)
