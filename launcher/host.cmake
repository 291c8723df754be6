# Runtime hosting, the driver and the single executable `scrivel`.
#
# scrivel_host: the runtime entry-point table, the start of the runtime, the
# platform-neutral driver and the platform's OS layer. The executable adds the
# platform's entry point and carries the archive of its platform's list.

# The Windows executable itself, its resources and its archive are made by
# windows.cmake; here only its sources are chosen.
if(WIN32)
  set(SCRIVEL_HOST_PLATFORM_SOURCE ${CMAKE_CURRENT_LIST_DIR}/platform/host_windows.cpp)
  set(SCRIVEL_MAIN_SOURCE ${CMAKE_CURRENT_LIST_DIR}/main_windows.cpp)
else()
  set(SCRIVEL_HOST_PLATFORM_SOURCE ${CMAKE_CURRENT_LIST_DIR}/platform/host_linux.cpp)
  set(SCRIVEL_MAIN_SOURCE ${CMAKE_CURRENT_LIST_DIR}/main_linux.cpp)
  set(SCRIVEL_ARCHIVE_LIST ${PROJECT_SOURCE_DIR}/bundle/files-linux.txt)
endif()

if(NOT EXISTS ${SCRIVEL_HOST_PLATFORM_SOURCE} OR NOT EXISTS ${SCRIVEL_MAIN_SOURCE})
  message(STATUS "scrivel: ${SCRIVEL_HOST_PLATFORM_SOURCE} or ${SCRIVEL_MAIN_SOURCE} missing; executable not built")
  return()
endif()
# Seen by scrivel_add_launcher wherever it is called.
set(SCRIVEL_MAIN_SOURCE ${SCRIVEL_MAIN_SOURCE} CACHE INTERNAL "The platform's entry point of the launcher")

add_library(scrivel_host STATIC
  ${CMAKE_CURRENT_LIST_DIR}/runtime_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runtime_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/utf8_argument.cpp
  ${SCRIVEL_HOST_PLATFORM_SOURCE})
target_include_directories(scrivel_host PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(scrivel_host PUBLIC scrivel_archive ${CMAKE_DL_LIBS})

if(NOT WIN32)
  # The executable's only system dependency is the C library: the C++ library,
  # libgcc and zlib are linked in. The runtime it unpacks needs no more
  # (tests/launcher/self_contained.cmake checks both).
  find_library(SCRIVEL_ZLIB_STATIC NAMES libz.a)
  if(SCRIVEL_ZLIB_STATIC)
    set_property(TARGET scrivel_zlib PROPERTY INTERFACE_LINK_LIBRARIES ${SCRIVEL_ZLIB_STATIC})
  else()
    message(WARNING "libz.a not found: scrivel links zlib dynamically")
  endif()
endif()

# scrivel_add_launcher(<target> <archive>)
# An executable made of the platform's entry point and scrivel_host that
# carries <archive>: an archive target or a file, as for
# scrivel_embed_archive (none when empty). Tests build launchers around
# archives of their own this way.
function(scrivel_add_launcher target archive)
  add_executable(${target} ${SCRIVEL_MAIN_SOURCE})
  target_link_libraries(${target} PRIVATE scrivel_host)
  if(NOT WIN32)
    # --gc-sections also drops the C++ library's unused random_device, whose
    # arc4random would raise the C library needed from 2.35 to 2.36.
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--gc-sections)
  endif()
  if(archive)
    scrivel_embed_archive(${target} ${archive})
  endif()
endfunction()

if(WIN32)
  return()
elseif(EXISTS ${SCRIVEL_ARCHIVE_LIST})
  set(_scrivel_archive_depends "")
  foreach(t scrivel_tool scrivel_linux_runtime)
    if(TARGET ${t})
      list(APPEND _scrivel_archive_depends ${t})
    endif()
  endforeach()
  scrivel_build_archive(${CMAKE_BINARY_DIR}/bundle/scrivel.arch ${SCRIVEL_ARCHIVE_LIST}
    DEPENDS ${_scrivel_archive_depends} TARGET scrivel_archive_file)
  scrivel_add_launcher(scrivel scrivel_archive_file)
  set_target_properties(scrivel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
else()
  message(STATUS "scrivel: ${SCRIVEL_ARCHIVE_LIST} missing; executable not built")
endif()
