# Windows x86_64 with mingw-w64.
set(CARSIM_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
