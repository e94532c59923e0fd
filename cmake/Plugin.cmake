# carsim_add_plugin(NAME <name> CORE <static lib> RES_DIR <dir> [ROOT <dir>] [EXTRA <files or dirs>...])
# Builds <name>.so (<name>.dll on Windows) into <root>/<name>/ (build/plugins by default) with only
# c4d_main exported and copies its resources beside it. The core library holds
# the module's code and its entry glue (CARSIM_PLUGIN_GLUE); the host interface
# library joins it, so the module links nothing of the host.
set(CARSIM_PLUGIN_GLUE ${CMAKE_SOURCE_DIR}/host/glue/plugin_glue.cpp)
function(carsim_add_plugin)
  cmake_parse_arguments(P "" "NAME;CORE;RES_DIR;ROOT" "EXTRA" ${ARGN})
  if(NOT P_ROOT)
    set(P_ROOT ${CARSIM_PLUGIN_ROOT})
  endif()
  add_library(${P_NAME} MODULE ${CMAKE_SOURCE_DIR}/host/glue/module_stub.cpp)
  target_link_libraries(${P_NAME} PRIVATE -Wl,--whole-archive ${P_CORE} carsim_host_iface -Wl,--no-whole-archive)
  if(WIN32)
    # The export table lists c4d_main alone, undecorated.
    target_sources(${P_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/plugin.def)
    target_link_options(${P_NAME} PRIVATE -Wl,--no-undefined)
    set(suffix ".dll")
  else()
    target_link_options(${P_NAME} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/plugin.map -Wl,--no-undefined)
    set(suffix ".so")
  endif()
  set_target_properties(${P_NAME} PROPERTIES PREFIX "" SUFFIX ${suffix}
    LIBRARY_OUTPUT_DIRECTORY ${P_ROOT}/${P_NAME} RUNTIME_OUTPUT_DIRECTORY ${P_ROOT}/${P_NAME})
  # The resources are copied on every build, not only when the module links:
  # a changed string table or page must reach the plug-in folder too.
  set(copy_commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${P_RES_DIR} ${P_ROOT}/${P_NAME}/res)
  foreach(extra IN LISTS P_EXTRA)
    if(IS_DIRECTORY ${extra})
      get_filename_component(leaf ${extra} NAME)
      list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy_directory ${extra} ${P_ROOT}/${P_NAME}/${leaf})
    else()
      list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${extra} ${P_ROOT}/${P_NAME}/)
    endif()
  endforeach()
  add_custom_target(${P_NAME}_resources ALL ${copy_commands})
  add_dependencies(${P_NAME} ${P_NAME}_resources)
endfunction()
