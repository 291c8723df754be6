# Text file encoding, reading and safe writing against plain floors:
#   cmake --build build --target benchmarks && mono build/bench/TextFileBench.exe [megabytes]
find_program(MCS_EXECUTABLE mcs)
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING AND SCRIVEL_TOOL_EXE)
  set(SCRIVEL_TEXTFILE_BENCH ${CMAKE_CURRENT_BINARY_DIR}/TextFileBench.exe)
  add_custom_command(
    OUTPUT ${SCRIVEL_TEXTFILE_BENCH}
    COMMAND ${CMAKE_COMMAND} -E copy ${SCRIVEL_TOOL_EXE} ${CMAKE_CURRENT_BINARY_DIR}/Scrivel.exe
    COMMAND ${MCS_EXECUTABLE} -nologo -target:exe -langversion:7 -optimize+ -codepage:utf8 -warnaserror+
            -r:${CMAKE_CURRENT_BINARY_DIR}/Scrivel.exe -out:${SCRIVEL_TEXTFILE_BENCH}
            ${CMAKE_CURRENT_SOURCE_DIR}/TextFileBench.cs
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/TextFileBench.cs ${SCRIVEL_TOOL_EXE}
    COMMENT "Compiling the text file benchmark"
    VERBATIM)
  add_custom_target(bench_textfile DEPENDS ${SCRIVEL_TEXTFILE_BENCH})
  add_dependencies(bench_textfile scrivel_tool)
  add_dependencies(benchmarks bench_textfile)
endif()
