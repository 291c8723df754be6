# Generator of packages whose exports share one serial range (bench/hostile.sh).
find_program(MCS_EXECUTABLE mcs)
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING)
  set(SCRIVEL_BENCH_SHARED ${CMAKE_CURRENT_BINARY_DIR}/GenerateSharedRangePackage.exe)
  add_custom_command(
    OUTPUT ${SCRIVEL_BENCH_SHARED}
    COMMAND ${MCS_EXECUTABLE} -nologo -noconfig -target:exe -langversion:7 -optimize+
            -codepage:utf8 -warnaserror+ -r:mscorlib.dll -out:${SCRIVEL_BENCH_SHARED}
            ${CMAKE_CURRENT_SOURCE_DIR}/GenerateSharedRangePackage.cs
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/GenerateSharedRangePackage.cs
    COMMENT "Compiling the hostile benchmark's package generator"
    VERBATIM)
  add_custom_target(bench_hostile_generator DEPENDS ${SCRIVEL_BENCH_SHARED})
  add_dependencies(benchmarks bench_hostile_generator)
endif()
