# scrivel_windows_runtime_archive(<runtime-folder> <output-archive> <target>)
#
# The archive of the Windows executable: every file below <runtime-folder>
# (mono.dll at its top, the class libraries under lib\, the configuration
# under etc\) and the Text tool as Scrivel.exe, in ascending order of entry
# names without regard to case, built by the archive target <target>. The
# list is made when CMake runs; run it again after changing the folder's content.
function(scrivel_windows_runtime_archive runtime output target)
  get_filename_component(runtime "${runtime}" ABSOLUTE)
  foreach(required mono.dll lib etc)
    if(NOT EXISTS "${runtime}/${required}")
      message(FATAL_ERROR "SCRIVEL_WINDOWS_RUNTIME (${runtime}) has no ${required}: "
                          "see docs/WINDOWS.md for the folder's layout")
    endif()
  endforeach()
  if(NOT SCRIVEL_TOOL_EXE OR NOT EXISTS "${SCRIVEL_TOOL_EXE}")
    message(FATAL_ERROR "The Windows archive needs the Text tool: build the host first and pass "
                        "-DSCRIVEL_TOOL_EXE=<host build>/tool/Scrivel.exe")
  endif()

  file(GLOB_RECURSE files RELATIVE "${runtime}" "${runtime}/*")
  set(names "")
  foreach(file IN LISTS files)
    if(file STREQUAL "Scrivel.exe")
      continue()  # the tool comes from this build
    endif()
    string(REPLACE "/" "\\" name "${file}")
    list(APPEND names "${name}")
  endforeach()
  list(APPEND names "Scrivel.exe")
  list(SORT names CASE INSENSITIVE)

  set(list_text "# Made by CMake from ${runtime}; source<TAB>entry name\n")
  foreach(name IN LISTS names)
    if(name STREQUAL "Scrivel.exe")
      set(source "${SCRIVEL_TOOL_EXE}")
    else()
      string(REPLACE "\\" "/" relative "${name}")
      set(source "${runtime}/${relative}")
    endif()
    string(APPEND list_text "${source}\t${name}\n")
  endforeach()
  get_filename_component(output_name "${output}" NAME)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${output_name}.windows.txt)
  file(WRITE ${list_file}.new "${list_text}")
  configure_file(${list_file}.new ${list_file} COPYONLY)
  scrivel_build_archive(${output} ${list_file} TARGET ${target})
endfunction()
