# Plays the standing-car scene through simhost for 5 s and checks that the
# Sim runs without an error box and the car's body stays where it stands.
# Arguments: -DSIMHOST=... -DPLUGINS=... -DSCENE=... -DOUT=... [-DEMULATOR=...]
execute_process(
  COMMAND ${EMULATOR} ${SIMHOST} --plugins ${PLUGINS} play ${SCENE} --from 0 --to 151 --csv ${OUT}
          --object Body --param Sim:5002 --param Sim:1001
  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "simhost failed (${rc}): ${err}")
endif()
if(err MATCHES "could not run its cars|vehicle engine failed|Simulation Error")
  message(FATAL_ERROR "the run reported an error: ${err}")
endif()

file(STRINGS ${OUT} lines)
list(POP_FRONT lines header)
set(checked 0)
foreach(line IN LISTS lines)
  string(REPLACE "," ";" f "${line}")
  list(GET f 0 frame)
  list(GET f 2 x)
  list(GET f 3 y)
  list(GET f 4 z)
  list(GET f 5 state)
  list(GET f 6 running)
  # The body rests 50 units up, over the origin, before and during the run.
  if(x LESS -0.5 OR x GREATER 0.5 OR z LESS -0.5 OR z GREATER 0.5 OR y LESS 49.5 OR y GREATER 50.5)
    message(FATAL_ERROR "frame ${frame}: the body moved to ${x} ${y} ${z}")
  endif()
  if(frame GREATER_EQUAL 1 AND (NOT state EQUAL 1 OR NOT running EQUAL 1))
    message(FATAL_ERROR "frame ${frame}: the Sim is not running (state ${state}, running ${running})")
  endif()
  math(EXPR checked "${checked} + 1")
endforeach()
if(NOT checked EQUAL 152)
  message(FATAL_ERROR "expected 152 frames, got ${checked}")
endif()
