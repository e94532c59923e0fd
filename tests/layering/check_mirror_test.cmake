# The mirror check fails on a tree with a stray test folder, names it, and
# lets through the folders that have their source folder under either root.
set(tree ${OUT}/mirror)
file(REMOVE_RECURSE ${tree})
file(MAKE_DIRECTORY ${tree}/tests/kept ${tree}/tests/nested ${tree}/tests/stray
     ${tree}/source/kept ${tree}/include/nested)
file(WRITE ${tree}/tests/loose_test.cpp "")
file(WRITE ${tree}/tests/stray/stray_test.cpp "")
file(WRITE ${tree}/tests/kept/kept_test.cpp "")
# Left behind by a move in a work tree; not a stray.
file(MAKE_DIRECTORY ${tree}/tests/emptied)
macro(run_check)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DTESTS=${tree}/tests "-DSOURCES=${tree}/source;${tree}/include"
            -P ${CMAKE_CURRENT_LIST_DIR}/check_mirror.cmake
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
endmacro()
run_check()
set(text "${out}${err}")
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed a stray folder:\n${text}")
endif()
foreach(expected IN ITEMS "no source folder of its name: ${tree}/tests/stray" "1 test folder(s) mirror nothing")
  string(FIND "${text}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report: ${expected}\n--- it said:\n${text}")
  endif()
endforeach()
file(REMOVE_RECURSE ${tree}/tests/stray)
run_check()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the check failed a mirrored tree:\n${out}${err}")
endif()
