# The Windows executable scrivel.exe.
#
# Host build (Linux): when the mingw-w64 cross compiler is installed, the
# Windows build is driven from here into <build>/windows, with the host's
# archive builder and Text tool, so one build covers both platforms
# (-DSCRIVEL_WINDOWS=OFF turns it off).
#
# Cross build (WIN32): the Windows file-system layer and resource lookup join
# the archive reader, the icon and manifest join every launcher, zlib and the
# C++ runtime are linked in statically, and scrivel.exe is built with the
# archive in resource RCDATA 129. The archive holds the Windows runtime found
# in SCRIVEL_WINDOWS_RUNTIME, by default the one the host build makes from
# Debian's mono source (see docs/WINDOWS.md); with neither, scrivel.exe
# carries the test archive (a stand-in runtime) and is good for tests only.

set(SCRIVEL_WINDOWS_RUNTIME "" CACHE PATH
    "Folder with a Windows build of the runtime: mono.dll, lib\\ and etc\\ (see docs/WINDOWS.md)")
option(SCRIVEL_WINDOWS_RUNTIME_BUILD
       "Without SCRIVEL_WINDOWS_RUNTIME, build the Windows runtime from Debian's mono source (cached)" ON)

if(NOT WIN32)
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  find_program(SCRIVEL_MINGW_CXX x86_64-w64-mingw32-g++)
  set(_scrivel_windows_default OFF)
  if(SCRIVEL_MINGW_CXX)
    set(_scrivel_windows_default ON)
  endif()
  option(SCRIVEL_WINDOWS "Also build the Windows executable (<build>/windows)" ${_scrivel_windows_default})
  if(NOT SCRIVEL_WINDOWS)
    return()
  endif()
  if(NOT SCRIVEL_MINGW_CXX)
    message(FATAL_ERROR "SCRIVEL_WINDOWS needs x86_64-w64-mingw32-g++: run scripts/setup.sh")
  endif()
  include(ExternalProject)
  set(_scrivel_windows_depends archive_builder)
  if(TARGET scrivel_tool)
    list(APPEND _scrivel_windows_depends scrivel_tool)
  endif()
  # The runtime the executable carries: the one named, or the one built from
  # Debian's mono source by scripts/windows-runtime (cached outside the build
  # tree; about 10 minutes the first time), or, with neither, a stand-in.
  set(_scrivel_windows_runtime "${SCRIVEL_WINDOWS_RUNTIME}")
  if(NOT _scrivel_windows_runtime AND SCRIVEL_WINDOWS_RUNTIME_BUILD)
    set(_scrivel_windows_runtime ${CMAKE_BINARY_DIR}/windows-runtime)
    file(GLOB _scrivel_runtime_scripts ${PROJECT_SOURCE_DIR}/scripts/windows-runtime/*)
    add_custom_command(
      OUTPUT ${_scrivel_windows_runtime}/.built
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-runtime/build.sh ${_scrivel_windows_runtime}
      COMMAND ${CMAKE_COMMAND} -E touch ${_scrivel_windows_runtime}/.built
      DEPENDS ${_scrivel_runtime_scripts}
      COMMENT "Windows runtime (built from Debian's mono source, or taken from the cache)"
      VERBATIM)
    add_custom_target(scrivel_windows_runtime DEPENDS ${_scrivel_windows_runtime}/.built)
    list(APPEND _scrivel_windows_depends scrivel_windows_runtime)
  endif()
  ExternalProject_Add(scrivel_windows
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows
    PREFIX ${CMAKE_BINARY_DIR}/windows-stamp
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DSCRIVEL_HOST_ARCHIVE_BUILDER=$<TARGET_FILE:archive_builder>
      -DSCRIVEL_TOOL_EXE=${SCRIVEL_TOOL_EXE}
      -DSCRIVEL_WINDOWS_RUNTIME=${_scrivel_windows_runtime}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    DEPENDS ${_scrivel_windows_depends})
  set(SCRIVEL_WINDOWS_BUILD_DIR ${CMAKE_BINARY_DIR}/windows CACHE INTERNAL "")
  return()
endif()

# ---- cross build ---------------------------------------------------------------

enable_language(RC)

target_sources(scrivel_archive PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/platform/fs_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/utf8_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/embedded_archive_windows.cpp)

# A DLL import library for zlib would leave the executable needing zlib1.dll.
find_library(SCRIVEL_MINGW_ZLIB_STATIC NAMES libz.a)
if(NOT SCRIVEL_MINGW_ZLIB_STATIC)
  message(FATAL_ERROR "libz.a for mingw-w64 not found: run scripts/setup.sh (libz-mingw-w64-dev)")
endif()
set_property(TARGET scrivel_zlib PROPERTY INTERFACE_LINK_LIBRARIES ${SCRIVEL_MINGW_ZLIB_STATIC})

if(NOT TARGET scrivel_host)
  message(STATUS "scrivel.exe: runtime hosting not available yet; executable not built")
  return()
endif()

# Every launcher: GUI subsystem, nothing but system libraries at run time,
# the icon and the manifest.
target_link_libraries(scrivel_host PUBLIC shell32)
target_link_options(scrivel_host INTERFACE -mwindows -static -static-libgcc -static-libstdc++)
target_sources(scrivel_host INTERFACE ${CMAKE_CURRENT_LIST_DIR}/windows/scrivel.rc)
target_include_directories(scrivel_host INTERFACE
  $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_LIST_DIR}/windows>)

# scrivel_embed_archive_windows(<target> <archive-file>)
# Puts <archive-file> into <target> as resource RCDATA 129; the executable is
# relinked when the archive changes. Called by scrivel_embed_archive, which
# has already made <target> depend on the archive's target.
function(scrivel_embed_archive_windows target archive)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.archive/archive.rc)
  file(WRITE ${rc}.new "129 RCDATA \"${archive}\"\n")
  configure_file(${rc}.new ${rc} COPYONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${archive}")
endfunction()

# The test launchers, their stand-in runtime and the test archive.
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/windows ${CMAKE_BINARY_DIR}/tests/windows)

# SCRIVEL_WINDOWS_ARCHIVE: the target of the archive scrivel.exe carries.
if(SCRIVEL_WINDOWS_RUNTIME)
  include(${CMAKE_CURRENT_LIST_DIR}/windows/runtime_archive.cmake)
  set(SCRIVEL_WINDOWS_ARCHIVE scrivel_archive_file)
  scrivel_windows_runtime_archive(${SCRIVEL_WINDOWS_RUNTIME} ${CMAKE_BINARY_DIR}/bundle/scrivel.arch
                                  ${SCRIVEL_WINDOWS_ARCHIVE})
else()
  message(STATUS "scrivel.exe: SCRIVEL_WINDOWS_RUNTIME not set; the executable carries the "
                 "test archive (a stand-in runtime) and is good for tests only")
  set(SCRIVEL_WINDOWS_ARCHIVE ${SCRIVEL_WINDOWS_TEST_ARCHIVE})
endif()
# host.cmake leaves the Windows executable to this file, which makes its
# archive list from the runtime folder.
if(NOT TARGET scrivel)
  scrivel_add_launcher(scrivel ${SCRIVEL_WINDOWS_ARCHIVE})
endif()
set_target_properties(scrivel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# What the host's tests need to know about this build.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/scrivel-windows.env CONTENT
"SCRIVEL_EXE='$<TARGET_FILE:scrivel>'
SCRIVEL_ARCHIVE='$<TARGET_PROPERTY:${SCRIVEL_WINDOWS_ARCHIVE},SCRIVEL_ARCHIVE_FILE>'
SCRIVEL_WITH_RUNTIME='${SCRIVEL_WINDOWS_RUNTIME}'
${SCRIVEL_WINDOWS_TEST_ENV}")
