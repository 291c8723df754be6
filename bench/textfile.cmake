# Text file encoding, reading and safe writing against plain floors:
#   cmake --build build --target benchmarks && mono build/bench/TextFileBench.exe [megabytes]
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING AND SCRIVEL_TOOL_EXE)
  scrivel_csharp_assembly(${CMAKE_CURRENT_BINARY_DIR}/TextFileBench.exe KIND exe
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/TextFileBench.cs
    LOCAL_REFERENCES ${SCRIVEL_TOOL_EXE}
    OPTIONS -optimize+ -warnaserror+
    DEPENDS scrivel_tool
    TARGET bench_textfile
    COMMENT "Compiling the text file benchmark")
  add_dependencies(benchmarks bench_textfile)
endif()
