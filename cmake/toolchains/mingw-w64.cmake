# Windows with MinGW-w64, for the target named by LUMDEC_MINGW_TARGET.  The
# posix thread model is the one whose libstdc++ has std::thread.  Programs
# and the DLL are linked statically, so they need only the system's own
# DLLs.  Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${LUMDEC_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMDEC_MINGW_TARGET}-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${LUMDEC_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# pkg-config must not hand out the host's Linux libraries (libsndfile for
# aacdec): only the target's own .pc files count.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${LUMDEC_MINGW_TARGET}/lib/pkgconfig)
