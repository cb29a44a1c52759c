# cmake -DBUILD_DIR=... -DPREFIX=... -DELSEWHERE=... -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX} ${ELSEWHERE})
file(MAKE_DIRECTORY ${ELSEWHERE})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

# The binding looks for the system library in lib/ beside the programs' bin/.
foreach(file bin/vantor bin/vantorctl bin/vantor-boardsim bin/vantor-mqtt lib/libkorbel.so
             lib/libvantorclient.so lib/libvantorclient.so.3 include/vantor/CHardWare.h
             include/vantor/platform/CopyDataMessage.h
             lib/cmake/VantorClient/VantorClientConfig.cmake lib/pkgconfig/vantorclient.pc
             lib/systemd/user/vantor.service lib/systemd/user/vantor-mqtt.service
             share/doc/vantor/README.md share/doc/vantor/architecture.md share/doc/vantor/mqtt.md)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The emulated bridge and the tests' broken system libraries stay in the build.
file(GLOB_RECURSE stray RELATIVE ${PREFIX} ${PREFIX}/libch365.so ${PREFIX}/*.a)
file(GLOB in_lib LIST_DIRECTORIES true ${PREFIX}/lib/*)
foreach(entry ${in_lib})
  # The client library's package files and the user units are the only folders there.
  if(IS_DIRECTORY ${entry} AND NOT entry MATCHES "/lib/(cmake|pkgconfig|systemd)$")
    list(APPEND stray ${entry})
  endif()
endforeach()
if(stray)
  message(FATAL_ERROR "installed but for tests only: ${stray}")
endif()

# The user units start the programs of this prefix.
foreach(start "vantor --headless" vantor-mqtt)
  string(REGEX REPLACE " .*" "" program "${start}")
  file(READ ${PREFIX}/lib/systemd/user/${program}.service unit)
  if(NOT unit MATCHES "\nExecStart=${PREFIX}/bin/${start}\n")
    message(FATAL_ERROR "installed ${program}.service does not start ${PREFIX}/bin/${start}:\n${unit}")
  endif()
endforeach()

foreach(program vantor vantorctl vantor-mqtt)
  execute_process(COMMAND ${PREFIX}/bin/${program} --help
                  WORKING_DIRECTORY ${ELSEWHERE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "Usage: ${program} ")
    message(FATAL_ERROR "installed ${program} --help: exit ${rc}\n${out}${err}")
  endif()
endforeach()

file(REMOVE_RECURSE ${PREFIX} ${ELSEWHERE})
