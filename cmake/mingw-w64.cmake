# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads, so
# that std::thread and std::mutex work). The runtime is linked statically: the
# executables and the drop-in DLL need nothing beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMAR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMAR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMAR_MINGW_TRIPLE})
# Qt for Windows lives in a cache folder of its own (scripts/build-qt-windows).
if(VELMAR_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VELMAR_QT_WINDOWS})
  list(APPEND CMAKE_PREFIX_PATH ${VELMAR_QT_WINDOWS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the executables through Wine.
find_program(VELMAR_WINE NAMES wine wine64 wine-stable)
if(VELMAR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMAR_WINE})
endif()
