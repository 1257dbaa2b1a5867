# Installs the built library into a scratch prefix, then configures, builds
# and runs a consumer that knows only find_package(OrvantisCore), and starts
# the installed tool (when it is built) from there.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()
set(cross "")
if(TOOLCHAIN)
  # The toolchain confines package searches to the MinGW root: name the
  # package's folder directly.
  set(cross -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DOrvantisCore_DIR=${prefix}/lib/cmake/OrvantisCore)
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_CXX_FLAGS=${flags} -DCMAKE_EXE_LINKER_FLAGS=${flags} ${cross})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
set(consumer ${WORK_DIR}/build/consumer)
if(TOOLCHAIN)
  # A Windows program finds its DLLs beside it, as an application ships them.
  file(GLOB dlls ${prefix}/bin/*.dll)
  file(COPY ${dlls} DESTINATION ${WORK_DIR}/build)
  set(consumer ${consumer}.exe)
endif()
run(${EMULATOR} ${consumer})
if(WITH_TOOL)
  run(${prefix}/bin/orvantis --version)
endif()
