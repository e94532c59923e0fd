# Fails when a file of the engine includes anything but its own folder,
# stand-alone carsim/ headers and the system's: no host header (host_*,
# c4d*, or any name only the host's include folder has), and nothing from
# the rest of the module.
# Variables: ENGINE (the engine folder), HOST_INCLUDE (the host's include
# folder), COMMON_INCLUDE (the folder holding carsim/).
cmake_minimum_required(VERSION 3.20)

foreach(var ENGINE HOST_INCLUDE COMMON_INCLUDE)
  if(NOT IS_DIRECTORY "${${var}}")
    message(FATAL_ERROR "${var} is not a folder: '${${var}}'")
  endif()
endforeach()

get_filename_component(ENGINE "${ENGINE}" ABSOLUTE)
file(GLOB host_headers RELATIVE "${HOST_INCLUDE}" "${HOST_INCLUDE}/*")
file(GLOB_RECURSE sources "${ENGINE}/*.h" "${ENGINE}/*.hpp" "${ENGINE}/*.cpp" "${ENGINE}/*.inl")
if(NOT sources)
  message(FATAL_ERROR "no sources under ${ENGINE}")
endif()

set(faults "")
foreach(src IN LISTS sources)
  file(STRINGS "${src}" lines REGEX "^[ \t]*#[ \t]*include")
  file(RELATIVE_PATH shown "${ENGINE}" "${src}")
  get_filename_component(here "${src}" DIRECTORY)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      list(APPEND faults "${shown}: unreadable include: ${line}")
      continue()
    endif()
    set(quote "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    get_filename_component(base "${name}" NAME)
    if(base MATCHES "^(host_|c4d)" OR name IN_LIST host_headers)
      list(APPEND faults "${shown}: host header ${name}")
    elseif(name MATCHES "^carsim/")
      if(NOT EXISTS "${COMMON_INCLUDE}/${name}")
        list(APPEND faults "${shown}: ${name} is not a carsim/ header")
      endif()
    elseif(quote STREQUAL "\"")
      # Quoted: the engine's own files only, beside this one or spelled from
      # the engine folder's parent ("engine/...").
      get_filename_component(target "${here}/${name}" ABSOLUTE)
      get_filename_component(rooted "${ENGINE}/../${name}" ABSOLUTE)
      string(FIND "${target}" "${ENGINE}/" inside)
      if(EXISTS "${target}" AND inside EQUAL 0)
      elseif(name MATCHES "^engine/" AND EXISTS "${rooted}")
      else()
        list(APPEND faults "${shown}: ${name} is not an engine header")
      endif()
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "the engine includes what it must not:\n  ${text}")
endif()
list(LENGTH sources n)
message(STATUS "engine includes: ${n} files checked")
