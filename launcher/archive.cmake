# The archive reader (BundleArchive, ByteBuffer), its file-system layer and the
# archive block carried in the executable.
#
# zlib reaches the reader through the interface target scrivel_zlib, shared
# zlib by default. An executable that wants another zlib (a static libz.a)
# replaces it:  set_property(TARGET scrivel_zlib PROPERTY INTERFACE_LINK_LIBRARIES <lib>)
find_package(ZLIB REQUIRED)
add_library(scrivel_zlib INTERFACE)
target_link_libraries(scrivel_zlib INTERFACE ZLIB::ZLIB)

add_library(scrivel_archive STATIC
  ${CMAKE_CURRENT_LIST_DIR}/byte_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bundle_archive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_inflater.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry_name.cpp)
target_include_directories(scrivel_archive PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(scrivel_archive PUBLIC scrivel_zlib)

# Entries are inflated by libdeflate where a static copy of it is found
# (Debian's libdeflate-dev on Linux), twice as fast as zlib on the same
# streams; the Windows build, which has no such copy, keeps zlib.
if(NOT WIN32)
  find_library(SCRIVEL_LIBDEFLATE_STATIC NAMES libdeflate.a)
  find_path(SCRIVEL_LIBDEFLATE_INCLUDE libdeflate.h)
endif()
if(NOT WIN32 AND SCRIVEL_LIBDEFLATE_STATIC AND SCRIVEL_LIBDEFLATE_INCLUDE)
  target_compile_definitions(scrivel_archive PRIVATE SCRIVEL_INFLATE_LIBDEFLATE)
  target_include_directories(scrivel_archive PRIVATE ${SCRIVEL_LIBDEFLATE_INCLUDE})
  target_link_libraries(scrivel_archive PUBLIC ${SCRIVEL_LIBDEFLATE_STATIC})
elseif(NOT WIN32)
  message(WARNING "libdeflate.a not found: the archive is inflated by zlib")
endif()
if(NOT WIN32)
  # The Windows build adds its own file-system layer and resource lookup.
  target_sources(scrivel_archive PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/platform/fs_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/embedded_archive_linux.cpp)
endif()

set(SCRIVEL_EMBED_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/embedded_archive_linux.S.in
    CACHE INTERNAL "Assembly template that carries an archive in read-only data")

# scrivel_embed_archive(<target> <archive>)
# Links an archive into <target>'s read-only data, where embeddedArchive()
# finds it; the target must also link scrivel_archive. <archive> is the name
# of a target made by scrivel_build_archive (built first), or else a file
# that exists when CMake runs (an archive that is built is named by its
# target). The executable is relinked when the archive changes. On Windows,
# where the archive is a resource, the work goes to
# scrivel_embed_archive_windows(<target> <file>).
function(scrivel_embed_archive target archive)
  if(TARGET ${archive})
    get_target_property(archive_file ${archive} SCRIVEL_ARCHIVE_FILE)
    if(NOT archive_file)
      message(FATAL_ERROR "scrivel_embed_archive: target ${archive} is not an archive (scrivel_build_archive)")
    endif()
    add_dependencies(${target} ${archive})
  else()
    get_filename_component(archive_file "${archive}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    if(NOT EXISTS "${archive_file}")
      message(FATAL_ERROR "scrivel_embed_archive(${target}): ${archive} is neither a file nor an archive "
                          "target (a built archive is named by its scrivel_build_archive target)")
    endif()
  endif()

  if(WIN32)
    if(NOT COMMAND scrivel_embed_archive_windows)
      message(FATAL_ERROR "scrivel_embed_archive: no Windows embedding defined")
    endif()
    scrivel_embed_archive_windows(${target} "${archive_file}")
    return()
  endif()

  # The archive is assembled from a copy of the template that names its file.
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}.archive/embedded_archive.S)
  set(SCRIVEL_EMBED_FILE "${archive_file}")
  configure_file(${SCRIVEL_EMBED_TEMPLATE} ${source} @ONLY)
  target_sources(${target} PRIVATE ${source})
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS "${archive_file}")
endfunction()
