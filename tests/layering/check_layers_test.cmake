# The layering check fails on a small tree with one fault of each kind and
# names every one of them; the entry of the allowed list is let through.
set(check ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake)
set(tree ${CMAKE_CURRENT_LIST_DIR}/faulty)
file(WRITE ${OUT}/allowed.txt "# kept\nbake/allowed.h: engine/low.h\nbake/gone.h: engine/low.h\n")
execute_process(
  COMMAND ${CMAKE_COMMAND} -DROOT=${tree} "-DLAYERS=common;engine;scene;car|sim|bake|tags;frame"
          -DROOTS=car/car_object -DALLOWED=${OUT}/allowed.txt -P ${check}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(text "${out}${err}")
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed a faulty tree:\n${text}")
endif()
foreach(expected IN ITEMS
    "engine/low.h: includes \"frame/top.h\": frame/ is a layer above engine/"
    "sim/s.h: includes \"car/car_object.h\", a root only the last layer may include"
    "include cycle: car/a -> car/b"
    "include cycle: car/b -> car/a"
    "folder cycle: bake/ -> tags/ (bake/k.h)"
    "folder cycle: tags/ -> bake/ (tags/t.h)"
    "allowance no longer needed (drop it from ${OUT}/allowed.txt): bake/gone.h: engine/low.h"
    "7 layering fault(s)")
  string(FIND "${text}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report: ${expected}\n--- it said:\n${text}")
  endif()
endforeach()
string(FIND "${text}" "bake/allowed.h" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "an allowed include was reported:\n${text}")
endif()
