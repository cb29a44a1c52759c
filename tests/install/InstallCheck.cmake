# cmake -DBUILD_DIR=... -DLIBDIR=... -DPREFIX=... -DELSEWHERE=... -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX} ${ELSEWHERE})
file(MAKE_DIRECTORY ${ELSEWHERE})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

# The binding looks for the system library in the private folder found from bin/.
foreach(file bin/vantor bin/vantorctl bin/vantor-boardsim bin/vantor-mqtt ${LIBDIR}/vantor/libkorbel.so
             ${LIBDIR}/libvantorclient.so ${LIBDIR}/libvantorclient.so.3 include/vantor/CHardWare.h
             include/vantor/platform/CopyDataMessage.h share/vantor/NXmagic.skn
             ${LIBDIR}/cmake/VantorClient/VantorClientConfig.cmake ${LIBDIR}/pkgconfig/vantorclient.pc
             lib/systemd/user/vantor.service lib/systemd/user/vantor-mqtt.service etc/xdg/autostart/vantor.desktop
             share/applications/vantor.desktop share/icons/hicolor/48x48/apps/vantor.png
             lib/python3/dist-packages/vantor/__main__.py share/man/man1/vantor.1.gz share/man/man1/vantorctl.1.gz
             share/doc/vantor/README.md share/doc/vantor/architecture.md share/doc/vantor/mqtt.md)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The emulated bridge and the tests' broken system libraries stay in the build.
file(GLOB_RECURSE stray RELATIVE ${PREFIX} ${PREFIX}/libch365.so ${PREFIX}/*.a)
file(GLOB in_lib LIST_DIRECTORIES true ${PREFIX}/lib/* ${PREFIX}/${LIBDIR}/*)
foreach(entry ${in_lib})
  # The client library's package files, the private libraries, the user units
  # and the Python package are the only folders there.
  if(IS_DIRECTORY ${entry} AND NOT entry MATCHES "/(cmake|pkgconfig|systemd|vantor|python3)$"
     AND NOT entry STREQUAL "${PREFIX}/${LIBDIR}")
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

file(GLOB_RECURSE pycache ${PREFIX}/lib/python3/*.pyc)
if(pycache)
  message(FATAL_ERROR "installed compiled Python files: ${pycache}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PREFIX}/lib/python3/dist-packages
                        PYTHONDONTWRITEBYTECODE=1 python3 -m vantor dump --help
                WORKING_DIRECTORY ${ELSEWHERE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "usage: python3 -m vantor dump")
  message(FATAL_ERROR "installed python3 -m vantor dump --help: exit ${rc}\n${out}${err}")
endif()

file(REMOVE_RECURSE ${PREFIX} ${ELSEWHERE})
