# Cross-builds the Windows version with Debian's MinGW-w64 (posix threads, so
# that std::thread and the runtime DLLs match the prepared Qt). Point
# CMAKE_PREFIX_PATH at a Qt built for x86_64-w64-mingw32 and QT_HOST_PATH at
# a Qt of the same version for this machine, whose moc, rcc and uic run here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLORY_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLORY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLORY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLORY_MINGW_TRIPLET}-windres)

# CMAKE_PREFIX_PATH is searched inside the root path too, so the Qt outside
# /usr/x86_64-w64-mingw32 is still found.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLORY_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
