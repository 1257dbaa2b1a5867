# Windows.cmake — what the MinGW-w64 cross build of OrvantisCore links and ships.
#
# Boost.Filesystem and Boost.Locale (with the Boost.Atomic they need) are
# static libraries that scripts/windows-boost.sh builds from Debian's Boost
# source into a cache folder, passed here as ORVANTIS_BOOST_MINGW_DIR. Every
# Boost header, among them the header-only Boost.System and Boost.Stacktrace,
# comes from Debian's installed headers of that same version.
#
# The DLL, the programs and the MinGW runtime DLLs all land in one bin folder,
# where Windows looks for a program's DLLs first.

set(ORVANTIS_BOOST_MINGW_DIR "" CACHE PATH "Prefix of the MinGW build of Boost (scripts/windows-boost.sh prints it)")
set(ORVANTIS_BOOST_MINGW_TARGETS "${ORVANTIS_BOOST_MINGW_DIR}/lib/cmake/OrvantisBoostMinGW.cmake")
if(NOT EXISTS "${ORVANTIS_BOOST_MINGW_TARGETS}")
  message(FATAL_ERROR "No MinGW build of Boost at ORVANTIS_BOOST_MINGW_DIR='${ORVANTIS_BOOST_MINGW_DIR}'; "
    "scripts/windows-boost.sh builds one and prints its folder.")
endif()
include("${ORVANTIS_BOOST_MINGW_TARGETS}")

# Only the boost folder of /usr/include, never the Linux headers beside it.
set(ORVANTIS_BOOST_HEADER_DIR "${CMAKE_BINARY_DIR}/boost-headers")
file(MAKE_DIRECTORY "${ORVANTIS_BOOST_HEADER_DIR}")
file(CREATE_LINK /usr/include/boost "${ORVANTIS_BOOST_HEADER_DIR}/boost" SYMBOLIC)
set_property(TARGET Boost::headers APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${ORVANTIS_BOOST_HEADER_DIR}")

# Stack traces of the crash reporter, through the Windows debugger engine.
add_library(orvantis_stacktrace_windbg INTERFACE)
target_compile_definitions(orvantis_stacktrace_windbg INTERFACE BOOST_STACKTRACE_USE_WINDBG_CACHED)
target_link_libraries(orvantis_stacktrace_windbg INTERFACE Boost::headers ole32 dbgeng)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
set(ORVANTIS_MINGW_RUNTIME_DLLS)
foreach(dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The MinGW runtime DLL ${dll} was not found")
  endif()
  file(COPY "${path}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  list(APPEND ORVANTIS_MINGW_RUNTIME_DLLS "${path}")
endforeach()
