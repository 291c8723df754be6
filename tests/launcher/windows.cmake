# Tests of the Windows executable on the host build: static checks of the
# built files, the 32-bit build, and runs under Wine in a prefix of the
# tests' own (tests/windows/wine-tests.sh). Without the cross compiler or
# Wine they are reported as skipped, with the reason.

set(_windows_tests ${PROJECT_SOURCE_DIR}/tests/windows)

function(scrivel_windows_skipped name reason)
  add_test(NAME ${name} COMMAND sh -c "echo 'SKIPPED: ${reason}'; exit 77")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

if(WIN32 OR NOT TARGET scrivel_windows)
  scrivel_windows_skipped(windows_launcher
    "the Windows executable is not built (no x86_64-w64-mingw32-g++, or SCRIVEL_WINDOWS=OFF); run scripts/setup.sh")
  return()
endif()

add_executable(windows_pe_check ${_windows_tests}/pe_check.cpp ${_windows_tests}/pe_image.cpp)

set(_windows_env
  SCRIVEL_WINDOWS_ENV=${SCRIVEL_WINDOWS_BUILD_DIR}/scrivel-windows.env
  SCRIVEL_WINE_PREFIX=${CMAKE_BINARY_DIR}/windows-wine/prefix
  SCRIVEL_TEST_WORK=${CMAKE_BINARY_DIR}/windows-wine/work
  PE_CHECK=$<TARGET_FILE:windows_pe_check>
  SCRIVEL_SOURCE_DIR=${PROJECT_SOURCE_DIR}
  SCRIVEL_I686_BUILD_DIR=${CMAKE_BINARY_DIR}/windows-i686
  SCRIVEL_HOST_ARCHIVE_BUILDER=$<TARGET_FILE:archive_builder>)

function(scrivel_windows_test name case)
  add_test(NAME ${name} COMMAND bash ${_windows_tests}/wine-tests.sh ${case})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${_windows_env}" ${ARGN})
endfunction()

scrivel_windows_test(windows_pe_files pe TIMEOUT 60)

find_program(SCRIVEL_MINGW_I686_CXX i686-w64-mingw32-g++)
if(SCRIVEL_MINGW_I686_CXX)
  scrivel_windows_test(windows_i686_build i686 TIMEOUT 600)
else()
  scrivel_windows_skipped(windows_i686_build "no i686-w64-mingw32-g++; run scripts/setup.sh")
endif()

find_program(SCRIVEL_WINE wine)
find_program(SCRIVEL_WINESERVER wineserver)
if(NOT SCRIVEL_WINE OR NOT SCRIVEL_WINESERVER)
  scrivel_windows_skipped(windows_wine "Wine is not installed; run scripts/setup.sh")
  return()
endif()

# One prefix, one working folder inside it: the runs take turns.
scrivel_windows_test(windows_wine_start start TIMEOUT 180 FIXTURES_SETUP scrivel_wine RESOURCE_LOCK scrivel_wine)
scrivel_windows_test(windows_wine_stop stop TIMEOUT 60 FIXTURES_CLEANUP scrivel_wine RESOURCE_LOCK scrivel_wine)
foreach(case unpack arguments console dropped folder failures)
  scrivel_windows_test(windows_wine_${case} ${case}
    TIMEOUT 150 FIXTURES_REQUIRED scrivel_wine RESOURCE_LOCK scrivel_wine SKIP_RETURN_CODE 77)
endforeach()

# The real scrivel.exe against the Linux executable on the same files; the
# packages come from the fuzzer's generator.
if(TARGET scrivel AND TARGET scrivel_tool)
  set(_same_packages_exe ${CMAKE_CURRENT_BINARY_DIR}/MakeSamePackages.exe)
  set(_same_packages_sources
    ${_windows_tests}/MakeSamePackages.cs
    ${PROJECT_SOURCE_DIR}/tests/tool/PackageBuilder.cs
    ${PROJECT_SOURCE_DIR}/tests/tool/PropertyWriter.cs
    ${PROJECT_SOURCE_DIR}/tests/tool/Fuzz/RandomPackage.cs
    ${PROJECT_SOURCE_DIR}/tests/tool/Fuzz/FuzzRandom.cs)
  scrivel_csharp_assembly(${_same_packages_exe} KIND exe
    SOURCES ${_same_packages_sources}
    REFERENCES ${SCRIVEL_TOOL_EXE}
    DEPENDS scrivel_tool
    TARGET windows_same_packages ALL)
  add_test(NAME windows_wine_tool COMMAND bash ${_windows_tests}/wine-tool-tests.sh)
  get_filename_component(_tool_dir ${SCRIVEL_TOOL_EXE} DIRECTORY)
  set_tests_properties(windows_wine_tool PROPERTIES
    ENVIRONMENT "${_windows_env};SCRIVEL_LINUX_EXE=$<TARGET_FILE:scrivel>;SAME_PACKAGES_EXE=${_same_packages_exe};SCRIVEL_TOOL_DIR=${_tool_dir}"
    TIMEOUT 300 FIXTURES_REQUIRED scrivel_wine RESOURCE_LOCK scrivel_wine SKIP_RETURN_CODE 77)
  # PO files: templates, PO files and their compiles, against Linux.
  add_test(NAME windows_wine_po COMMAND bash ${_windows_tests}/wine-po-tests.sh)
  set_tests_properties(windows_wine_po PROPERTIES
    ENVIRONMENT "${_windows_env};SCRIVEL_LINUX_EXE=$<TARGET_FILE:scrivel>;SAME_PACKAGES_EXE=${_same_packages_exe};SCRIVEL_TOOL_DIR=${_tool_dir}"
    TIMEOUT 300 FIXTURES_REQUIRED scrivel_wine RESOURCE_LOCK scrivel_wine SKIP_RETURN_CODE 77)
  # The same executable on Windows consoles (created and attached).
  add_test(NAME windows_wine_console_tool COMMAND bash ${_windows_tests}/wine-console-tests.sh)
  set_tests_properties(windows_wine_console_tool PROPERTIES
    ENVIRONMENT "${_windows_env}"
    TIMEOUT 300 FIXTURES_REQUIRED scrivel_wine RESOURCE_LOCK scrivel_wine SKIP_RETURN_CODE 77)
endif()
