# Plays one example scene through simhost and hands the CSV to check_example.
# Variables: SIMHOST, PLUGINS, CHECK, SCENES (the examples folder), NAME, OUT,
# EMULATOR (optional: runs the programs in a cross build).
set(columns --matrix Body --param Car:2501)
if(NAME STREQUAL "drive")
  list(APPEND columns --param Car:2503)
elseif(NAME STREQUAL "crash")
  list(APPEND columns --object Wall)
elseif(NAME STREQUAL "markers")
  list(APPEND columns --param Car:2504 --param Car:2505 --param Car:2507)
elseif(NAME STREQUAL "tracks")
  list(APPEND columns --object TreadLeft --object TreadRight)
endif()

set(csv ${OUT}/${NAME}.csv)
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${EMULATOR} ${SIMHOST} --plugins ${PLUGINS} play ${SCENES}/${NAME}.json --csv ${csv} ${columns}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "simhost play ${NAME}.json failed (${rc}): ${err}")
endif()
# A clean run says nothing: an error box or a warning is a failure.
if(NOT err STREQUAL "")
  message(FATAL_ERROR "simhost play ${NAME}.json reported: ${err}")
endif()
execute_process(COMMAND ${EMULATOR} ${CHECK} ${NAME} ${csv} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "the ${NAME} example does not show what it is for (see above; ${csv})")
endif()
# The output itself, to the last digit: what these scenes give is recorded in
# DIGESTS (given only where it was recorded: native x86-64 Linux; elsewhere
# library maths may round differently). After a change meant to move the
# results, record them again with sha256sum over the new CSVs.
if(DIGESTS)
  file(SHA256 ${csv} digest)
  file(STRINGS ${DIGESTS} lines REGEX " ${NAME}\\.csv$")
  if(NOT lines)
    message(FATAL_ERROR "${DIGESTS} has no digest of ${NAME}.csv")
  endif()
  string(REGEX MATCH "^[0-9a-f]+" recorded "${lines}")
  if(NOT digest STREQUAL recorded)
    message(FATAL_ERROR "${NAME}.csv is not the recorded output (SHA-256 ${digest}, recorded ${recorded}): "
                        "a change moved the simulation's results")
  endif()
endif()
