# Generators of large packages for timing: extraction and import (bench/extract.sh,
# bench/import.sh), structs whose ends are never met (bench/struct_ends.sh) and
# export entries sharing one serial range (bench/hostile.sh).
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING)
  foreach(generator GenerateExtractionPackage GenerateStructEndsPackage GenerateSharedRangePackage)
    scrivel_csharp_assembly(${CMAKE_CURRENT_BINARY_DIR}/${generator}.exe KIND exe
      SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${generator}.cs
      REFERENCES mscorlib.dll
      OPTIONS -noconfig -optimize+ -warnaserror+
      TARGET bench_${generator}
      COMMENT "Compiling the benchmark package generator ${generator}")
    add_dependencies(benchmarks bench_${generator})
  endforeach()
endif()
