# scrivel_csharp_assembly(<output> KIND exe|library SOURCES <file>...
#                         [REFERENCES <assembly>...] [LOCAL_REFERENCES <file>...]
#                         [OPTIONS <flag>...] [DEPENDS <target-or-file>...]
#                         [TARGET <name> [ALL]] [COMMENT <text>])
#
# Compiles <output> with mcs. Every assembly is built with
#   mcs -nologo -target:<KIND> -langversion:7 -codepage:utf8 <OPTIONS>
#       -r:<REFERENCES and LOCAL_REFERENCES> -out:<output> <SOURCES>
# REFERENCES given as paths are dependencies of the output; bare names
# (mscorlib.dll) come from the runtime. LOCAL_REFERENCES are first copied
# next to <output>, so that it runs from its own folder. TARGET names a
# custom target that builds <output> (made part of "all" with ALL).
find_program(MCS_EXECUTABLE mcs)

function(scrivel_csharp_assembly output)
  cmake_parse_arguments(ARG "ALL" "KIND;TARGET;COMMENT"
                        "SOURCES;REFERENCES;LOCAL_REFERENCES;OPTIONS;DEPENDS" ${ARGN})
  if(NOT MCS_EXECUTABLE)
    message(FATAL_ERROR "mcs not found (needed for ${output}): run scripts/setup.sh")
  endif()
  if(NOT ARG_KIND MATCHES "^(exe|library)$" OR NOT ARG_SOURCES)
    message(FATAL_ERROR "scrivel_csharp_assembly(${output}): KIND exe|library and SOURCES are required")
  endif()
  if(NOT ARG_COMMENT)
    get_filename_component(name "${output}" NAME)
    set(ARG_COMMENT "Compiling ${name}")
  endif()

  get_filename_component(out_dir "${output}" DIRECTORY)
  set(copies "")
  set(references "")
  set(depends ${ARG_SOURCES} ${ARG_DEPENDS})
  foreach(ref IN LISTS ARG_LOCAL_REFERENCES)
    get_filename_component(ref_name "${ref}" NAME)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different "${ref}" "${out_dir}/${ref_name}")
    list(APPEND references "-r:${out_dir}/${ref_name}")
    list(APPEND depends "${ref}")
  endforeach()
  foreach(ref IN LISTS ARG_REFERENCES)
    list(APPEND references "-r:${ref}")
    if(ref MATCHES "/")
      list(APPEND depends "${ref}")
    endif()
  endforeach()

  add_custom_command(
    OUTPUT "${output}"
    ${copies}
    COMMAND ${MCS_EXECUTABLE} -nologo -target:${ARG_KIND} -langversion:7 -codepage:utf8
            ${ARG_OPTIONS} ${references} "-out:${output}" ${ARG_SOURCES}
    DEPENDS ${depends}
    COMMENT "${ARG_COMMENT}"
    VERBATIM)
  if(ARG_TARGET)
    if(ARG_ALL)
      add_custom_target(${ARG_TARGET} ALL DEPENDS "${output}")
    else()
      add_custom_target(${ARG_TARGET} DEPENDS "${output}")
    endif()
  endif()
endfunction()
