# Fails when a module names the host library among the libraries it needs or
# carries a search path to it. Variables: READELF, MODULES (a list).
foreach(module IN LISTS MODULES)
  execute_process(COMMAND ${READELF} -d ${module} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} -d ${module} failed")
  endif()
  if(dynamic MATCHES "simhost_core")
    message(FATAL_ERROR "${module} needs the host library:\n${dynamic}")
  endif()
  if(dynamic MATCHES "\\((RPATH|RUNPATH)\\)")
    message(FATAL_ERROR "${module} carries a library search path:\n${dynamic}")
  endif()
endforeach()
