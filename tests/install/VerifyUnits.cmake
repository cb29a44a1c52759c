# systemd-analyze verify on the user units, as the user manager would load
# them, in copies that start this build's programs (the command must exist to
# pass). Any complaint fails, not only the errors that set its exit code (an
# unknown key is a warning only). Without a running systemd it needs a runtime
# directory of its own; --man=no: the man page is not installed in the tree.
# -DUNITS=<files;...> -DBINDIR=<build bin/> -DWORK=<scratch dir>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/units ${WORK}/runtime)
file(CHMOD ${WORK}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(copies)
foreach(unit ${UNITS})
  get_filename_component(name ${unit} NAME)
  file(READ ${unit} text)
  string(REPLACE "=/usr/bin/" "=${BINDIR}/" text "${text}")
  file(WRITE ${WORK}/units/${name} "${text}")
  list(APPEND copies ${WORK}/units/${name})
endforeach()
set(ENV{XDG_RUNTIME_DIR} ${WORK}/runtime)
set(ENV{SYSTEMD_LOG_LEVEL} notice)
execute_process(COMMAND systemd-analyze verify --user --man=no ${copies}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify (exit ${rc}):\n${out}${err}")
endif()
