# The native helper library that the Linux archive carries as
# lib/libmono-native.so: built from Debian's mono source by
# scripts/linux-runtime/build.sh (cached outside the build tree; about 4
# minutes the first time), or the file named by SCRIVEL_LINUX_NATIVE_LIBRARY.
# Debian's own /usr/lib/libmono-native.so.0.0.0 needs the Kerberos libraries
# and is not carried. files-linux.txt names the result @SCRIVEL_LINUX_NATIVE@;
# the target scrivel_linux_runtime, when defined, makes it.

set(SCRIVEL_LINUX_NATIVE_LIBRARY "" CACHE FILEPATH
    "libmono-native.so to carry instead of the one built from Debian's mono source")

if(SCRIVEL_LINUX_NATIVE_LIBRARY)
  set(SCRIVEL_LINUX_NATIVE ${SCRIVEL_LINUX_NATIVE_LIBRARY} CACHE INTERNAL "")
  return()
endif()

set(_scrivel_linux_runtime ${CMAKE_BINARY_DIR}/linux-runtime)
set(SCRIVEL_LINUX_NATIVE ${_scrivel_linux_runtime}/libmono-native.so CACHE INTERNAL "")
add_custom_command(
  OUTPUT ${_scrivel_linux_runtime}/.built
  BYPRODUCTS ${SCRIVEL_LINUX_NATIVE}
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/linux-runtime/build.sh ${_scrivel_linux_runtime}
  COMMAND ${CMAKE_COMMAND} -E touch ${_scrivel_linux_runtime}/.built
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/linux-runtime/build.sh
          ${PROJECT_SOURCE_DIR}/scripts/windows-runtime/version.sh
          ${PROJECT_SOURCE_DIR}/scripts/windows-runtime/fetch-source.sh
  COMMENT "libmono-native.so (built from Debian's mono source, or taken from the cache)"
  VERBATIM)
add_custom_target(scrivel_linux_runtime DEPENDS ${_scrivel_linux_runtime}/.built)
