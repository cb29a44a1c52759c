# cmake -DSCDOC=... -DSOURCE=page.1.scd -DTROFF=page.1 -P Scdoc.cmake
# Writes page.1 (kept for the tests) and page.1.gz (installed).
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${TROFF} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${TROFF})
  message(FATAL_ERROR "scdoc failed on ${SOURCE}")
endif()
execute_process(COMMAND gzip -9n -c ${TROFF} OUTPUT_FILE ${TROFF}.gz RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${TROFF}.gz)
  message(FATAL_ERROR "gzip failed on ${TROFF}")
endif()
