# cmake -DBUILD_DIR=... -DPREFIX=... -DELSEWHERE=... -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX} ${ELSEWHERE})
file(MAKE_DIRECTORY ${ELSEWHERE})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

# The binding looks for the system library in lib/ beside the programs' bin/.
foreach(file bin/vantor bin/vantorctl bin/vantor-boardsim lib/libkorbel.so
             lib/libvantorclient.so lib/libvantorclient.so.3 include/vantor/CHardWare.h
             include/vantor/platform/CopyDataMessage.h
             lib/cmake/VantorClient/VantorClientConfig.cmake lib/pkgconfig/vantorclient.pc
             share/doc/vantor/README.md share/doc/vantor/architecture.md)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The emulated bridge and the tests' broken system libraries stay in the build.
file(GLOB_RECURSE stray RELATIVE ${PREFIX} ${PREFIX}/libch365.so ${PREFIX}/*.a)
file(GLOB in_lib LIST_DIRECTORIES true ${PREFIX}/lib/*)
foreach(entry ${in_lib})
  # The client library's package files are the only folders there.
  if(IS_DIRECTORY ${entry} AND NOT entry MATCHES "/lib/(cmake|pkgconfig)$")
    list(APPEND stray ${entry})
  endif()
endforeach()
if(stray)
  message(FATAL_ERROR "installed but for tests only: ${stray}")
endif()

foreach(program vantor vantorctl)
  execute_process(COMMAND ${PREFIX}/bin/${program} --help
                  WORKING_DIRECTORY ${ELSEWHERE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "Usage: ${program} ")
    message(FATAL_ERROR "installed ${program} --help: exit ${rc}\n${out}${err}")
  endif()
endforeach()

file(REMOVE_RECURSE ${PREFIX} ${ELSEWHERE})
