# End to end through `simhost bake`: the demo scene is baked, then played with
# its Sim disabled (as the bake leaves it) and with the Sim taken out of the
# scene altogether; both times the rig must move as the simulation moved it.
# Variables: SIMHOST, PLUGINS, COMPARE, OUT, EMULATOR (optional).
set(first 1)
set(last 60)
set(objects --matrix Body --matrix "Wheel FL" --matrix "Wheel Spin" --matrix "Suspension Bottom")

function(run what)
  execute_process(COMMAND ${EMULATOR} ${SIMHOST} --plugins ${PLUGINS} ${ARGN} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "simhost ${what} failed (${rc}): ${err}")
  endif()
  if(err MATCHES "could not run its cars|vehicle engine failed|Simulation Error")
    message(FATAL_ERROR "simhost ${what} reported an error: ${err}")
  endif()
endfunction()
# The body exactly, up to its thinning (0.001 per key); the parts under it
# also carry the body's thinned turn out over their distance from it.
function(compare played)
  foreach(check "Body;0.01;0.005" "Wheel FL;0.5;0.005" "Wheel Spin;0.5;0.005" "Suspension Bottom;0.5;0.005")
    execute_process(COMMAND ${EMULATOR} ${COMPARE} ${OUT}/simulated.csv ${OUT}/${played} ${first} ${last} ${check}
                    RESULT_VARIABLE rc)
    if(rc)
      message(FATAL_ERROR "the baked motion (${played}) differs from the simulated one")
    endif()
  endforeach()
endfunction()

file(REMOVE_RECURSE ${OUT})
run(demo demo --out ${OUT} --seconds 3)
# The motion as the simulation makes it.
run(play play ${OUT}/demo_scene.json --from 0 --to 75 --csv ${OUT}/simulated.csv ${objects})
run(bake bake ${OUT}/demo_scene.json --out ${OUT}/baked.json --from ${first} --to ${last})

# A baked scene is not baked again.
execute_process(COMMAND ${EMULATOR} ${SIMHOST} --plugins ${PLUGINS} bake ${OUT}/baked.json --out ${OUT}/again.json
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc OR NOT err MATCHES "already baked")
  message(FATAL_ERROR "baking a baked scene was not refused (${rc}): ${err}")
endif()

run(play play ${OUT}/baked.json --from 0 --to 75 --csv ${OUT}/played.csv ${objects})
compare(played.csv)

# Without the Sim: its object becomes a plain null, so nothing simulates and
# only the keys move the rig.
file(READ ${OUT}/baked.json scene)
string(JSON sim_type GET "${scene}" objects 0 type)
if(NOT sim_type EQUAL 1011582)
  message(FATAL_ERROR "the baked scene's first object is no Sim (${sim_type})")
endif()
string(JSON scene SET "${scene}" objects 0 type 5140)
file(WRITE ${OUT}/without_sim.json "${scene}")
run(play play ${OUT}/without_sim.json --from 0 --to 75 --csv ${OUT}/played_without_sim.csv ${objects})
compare(played_without_sim.csv)
