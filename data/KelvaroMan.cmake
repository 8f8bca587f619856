# Writes kelvaro(1) from `kelvaro --help` through kelvaro-man.awk. The help
# runs under a fixed locale and zone so that every builder gets the same page.
#   cmake -DKELVARO=... -DAWK=... -DSCRIPT=... -DVERSION=... -DDATE=... -DOUTPUT=... -P KelvaroMan.cmake
set(ENV{LC_ALL} C.UTF-8)
set(ENV{TZ} UTC)
unset(ENV{LANGUAGE})
execute_process(COMMAND ${KELVARO} --help
                COMMAND ${AWK} -v version=${VERSION} -v date=${DATE} -f ${SCRIPT}
                OUTPUT_FILE ${OUTPUT}.tmp
                RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "kelvaro --help | awk failed: ${results}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
