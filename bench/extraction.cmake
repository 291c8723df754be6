# Generator of a large package for timing extraction (bench/extract.sh).
find_program(MCS_EXECUTABLE mcs)
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING)
  set(SCRIVEL_BENCH_GENERATOR ${CMAKE_CURRENT_BINARY_DIR}/GenerateExtractionPackage.exe)
  add_custom_command(
    OUTPUT ${SCRIVEL_BENCH_GENERATOR}
    COMMAND ${MCS_EXECUTABLE} -nologo -noconfig -target:exe -langversion:7 -optimize+
            -codepage:utf8 -warnaserror+ -r:mscorlib.dll -out:${SCRIVEL_BENCH_GENERATOR}
            ${CMAKE_CURRENT_SOURCE_DIR}/GenerateExtractionPackage.cs
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/GenerateExtractionPackage.cs
    COMMENT "Compiling the extraction benchmark's package generator"
    VERBATIM)
  add_custom_target(bench_extraction_generator DEPENDS ${SCRIVEL_BENCH_GENERATOR})
  add_dependencies(benchmarks bench_extraction_generator)

  # Generator of the package whose structs never end (bench/struct_ends.sh).
  set(SCRIVEL_BENCH_STRUCTS ${CMAKE_CURRENT_BINARY_DIR}/GenerateStructEndsPackage.exe)
  add_custom_command(
    OUTPUT ${SCRIVEL_BENCH_STRUCTS}
    COMMAND ${MCS_EXECUTABLE} -nologo -noconfig -target:exe -langversion:7 -optimize+
            -codepage:utf8 -warnaserror+ -r:mscorlib.dll -out:${SCRIVEL_BENCH_STRUCTS}
            ${CMAKE_CURRENT_SOURCE_DIR}/GenerateStructEndsPackage.cs
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/GenerateStructEndsPackage.cs
    COMMENT "Compiling the struct-ends benchmark's package generator"
    VERBATIM)
  add_custom_target(bench_struct_ends_generator DEPENDS ${SCRIVEL_BENCH_STRUCTS})
  add_dependencies(benchmarks bench_struct_ends_generator)
endif()
