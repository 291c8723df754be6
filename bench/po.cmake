# Large PO files read and looked up, against gettext's msgfmt -c: bench/po.sh
if(MCS_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING AND SCRIVEL_TOOL_EXE)
  scrivel_csharp_assembly(${CMAKE_CURRENT_BINARY_DIR}/PoBench.exe KIND exe
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PoBench.cs
    LOCAL_REFERENCES ${SCRIVEL_TOOL_EXE}
    OPTIONS -optimize+ -warnaserror+
    DEPENDS scrivel_tool
    TARGET bench_po
    COMMENT "Compiling the PO benchmark")
  add_dependencies(benchmarks bench_po)
endif()
