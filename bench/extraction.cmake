# Generators of large packages for timing: extraction and import (bench/extract.sh,
# bench/import.sh) and structs whose ends are never met (bench/struct_ends.sh).
find_program(MCS_EXECUTABLE mcs)
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING)
  foreach(generator GenerateExtractionPackage GenerateStructEndsPackage)
    set(exe ${CMAKE_CURRENT_BINARY_DIR}/${generator}.exe)
    add_custom_command(
      OUTPUT ${exe}
      COMMAND ${MCS_EXECUTABLE} -nologo -noconfig -target:exe -langversion:7 -optimize+
              -codepage:utf8 -warnaserror+ -r:mscorlib.dll -out:${exe}
              ${CMAKE_CURRENT_SOURCE_DIR}/${generator}.cs
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${generator}.cs
      COMMENT "Compiling the benchmark package generator ${generator}"
      VERBATIM)
    add_custom_target(bench_${generator} DEPENDS ${exe})
    add_dependencies(benchmarks bench_${generator})
  endforeach()
endif()
