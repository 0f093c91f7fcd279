# Cross-build for 32-bit Windows with Debian's MinGW-w64 toolchain. The
# "posix" compiler variant is used because its C++ library has std::mutex and
# std::thread (through winpthreads). Every program and library is linked
# statically against libgcc, libstdc++ and winpthreads, so what we build needs
# nothing beyond the system DLLs; programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KELP_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KELP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELP_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${KELP_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump that reads PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${KELP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-wine)

# RapidJSON is header-only and libyaml contributes only its record layouts, so
# the build machine's headers serve the Windows build too. They are offered
# through a folder of links that holds nothing else: adding /usr/include itself
# would put the build machine's C library headers in front of MinGW's.
if(CMAKE_BINARY_DIR AND NOT CMAKE_BINARY_DIR MATCHES "/CMakeFiles/")
  set(kelp_header_links ${CMAKE_BINARY_DIR}/build-machine-headers)
  file(MAKE_DIRECTORY ${kelp_header_links})
  foreach(entry rapidjson yaml.h)
    if(EXISTS /usr/include/${entry} AND NOT EXISTS ${kelp_header_links}/${entry})
      file(CREATE_LINK /usr/include/${entry} ${kelp_header_links}/${entry} SYMBOLIC)
    endif()
  endforeach()
  set(RAPIDJSON_INCLUDE_DIR ${kelp_header_links} CACHE PATH "RapidJSON headers")
  set(YAML_INCLUDE_DIR ${kelp_header_links} CACHE PATH "libyaml header")
endif()
