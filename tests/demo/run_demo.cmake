# End to end through `simhost demo`: a straight full-throttle run (checked by
# demo_check), the same run again (byte-identical output), and a run with
# steering. Variables: SIMHOST, PLUGINS, CHECK, OUT, EMULATOR (optional).
function(run_demo dir)
  execute_process(COMMAND ${EMULATOR} ${SIMHOST} --plugins ${PLUGINS} demo --out ${OUT}/${dir} ${ARGN} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "simhost demo ${ARGN} failed: ${rc}")
  endif()
endfunction()
function(check mode dir)
  execute_process(COMMAND ${EMULATOR} ${CHECK} ${mode} ${OUT}/${dir}/demo_path.csv RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "demo_check ${mode} failed")
  endif()
endfunction()

file(REMOVE_RECURSE ${OUT})
run_demo(straight --seconds 8)
check(straight straight)
if(NOT EXISTS ${OUT}/straight/demo_scene.json)
  message(FATAL_ERROR "the demo wrote no scene")
endif()
run_demo(again --seconds 8)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/straight/demo_path.csv ${OUT}/again/demo_path.csv
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "two runs of the same demo differ")
endif()
run_demo(turn --seconds 5 --throttle 0.5 --steer 0.3)
check(turn turn)

# The saved scene drives by itself: played again, the body ends where the
# demo left it.
execute_process(COMMAND ${EMULATOR} ${SIMHOST} --plugins ${PLUGINS} play ${OUT}/straight/demo_scene.json --object Body
                OUTPUT_VARIABLE played RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "playing the saved demo scene failed: ${rc}")
endif()
string(STRIP "${played}" played)
string(REGEX MATCH "[^\n]*$" last_played "${played}")
file(STRINGS ${OUT}/straight/demo_path.csv demo_lines)
list(GET demo_lines -1 last_demo)
string(REPLACE "," ";" played_fields "${last_played}")
string(REPLACE "," ";" demo_fields "${last_demo}")
list(GET played_fields 4 played_z)
list(GET demo_fields 4 demo_z)
if(NOT played_z STREQUAL demo_z)
  message(FATAL_ERROR "the saved scene ends at z ${played_z}, the demo at z ${demo_z}")
endif()
