# tests/: the house's arrows hold only if a room cannot climb out of the folder the build shows it. A quoted
# include that starts with "../" does exactly that, unseen by the per-room include folders: this check fails on
# any, in the product and in the tests. Run as: cmake -DROOT=<source folder> -P quoted_includes.cmake
if(NOT ROOT)
  message(FATAL_ERROR "ROOT: the source folder to check")
endif()
file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE ${ROOT}
  ${ROOT}/*.cpp ${ROOT}/*.h ${ROOT}/*.c)
set(found "")
foreach(source ${sources})
  if(source MATCHES "^(build[^/]*|\\.git)/")
    continue()
  endif()
  file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  foreach(line ${lines})
    string(APPEND found "  ${source}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "quoted includes that climb out of their folder:\n${found}")
endif()
message(STATUS "no quoted include starts with ../ (${ROOT})")
