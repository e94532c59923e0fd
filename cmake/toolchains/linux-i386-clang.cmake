# 32-bit x86 Linux built with clang (multilib), double arithmetic in SSE2
# (the top-level CMakeLists adds -msse2 -mfpmath=sse for every 32-bit x86
# build). Programs run through qemu-i386: the machines that build this may not
# run 32-bit programs themselves.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
find_program(CARSIM_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CARSIM_QEMU_I386})
