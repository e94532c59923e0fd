# Builds the example scenes again with make_examples and compares them with
# the checked-in files, so that the examples stay in step with the plug-ins.
# Variables: MAKE, PLUGINS, SCENES (the examples folder), OUT, EMULATOR (optional).
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${EMULATOR} ${MAKE} --plugins ${PLUGINS} --out ${OUT} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "make_examples failed (${rc})")
endif()
file(GLOB made RELATIVE ${OUT} ${OUT}/*.json)
set(stale "")
foreach(f IN LISTS made)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${f} ${SCENES}/${f} RESULT_VARIABLE rc)
  if(rc)
    list(APPEND stale ${f})
  endif()
endforeach()
if(stale)
  message(FATAL_ERROR "examples out of date: ${stale}\n"
                      "refresh them with: make_examples --plugins ${PLUGINS} --out ${SCENES}")
endif()
