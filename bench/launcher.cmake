# Launcher benchmark: a full run of the single executable against its floor
# (start_floor, bench/floors) and against the system's own runtime running
# the tool directly.
#   cmake --build <build> --target benchmarks && <build>/bench/launcher_bench [rounds] [tool arguments...]
find_program(MONO_EXECUTABLE mono)
add_executable(launcher_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/launcher_bench.cpp)
target_compile_definitions(launcher_bench PRIVATE
  SCRIVEL_EXECUTABLE="$<TARGET_FILE:scrivel>"
  SCRIVEL_FLOOR="$<TARGET_FILE:start_floor>"
  SCRIVEL_TOOL="${SCRIVEL_TOOL_EXE}"
  SCRIVEL_MONO="${MONO_EXECUTABLE}")
add_dependencies(launcher_bench scrivel start_floor)
add_dependencies(benchmarks launcher_bench)
