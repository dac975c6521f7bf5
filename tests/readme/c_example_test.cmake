# The C host that README.md shows, compiled and linked as a host would build
# it: the first ```c block of the README is written to a file of its own and
# compiled against include/quorvex.h with every warning an error, then linked
# against the built library. Fails, with the compiler's words, when the
# example no longer matches the header or the library's exports.
#
#   cmake -DREADME=README.md -DC_COMPILER=cc -DINCLUDE_DIR=include
#         -DLIBRARY=libquorvex.so -DWORK_DIR=dir -P c_example_test.cmake
foreach(name README C_COMPILER INCLUDE_DIR LIBRARY WORK_DIR)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "c_example_test.cmake: ${name} is not set")
  endif()
endforeach()

file(READ "${README}" text)
set(opening "\n```c\n")
string(FIND "${text}" "${opening}" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${README} has no ```c block")
endif()
string(LENGTH "${opening}" opening_length)
math(EXPR start "${start} + ${opening_length}")
string(SUBSTRING "${text}" ${start} -1 rest)
string(FIND "${rest}" "\n```" end)
if(end EQUAL -1)
  message(FATAL_ERROR "the first ```c block of ${README} does not end")
endif()
math(EXPR end "${end} + 1")
string(SUBSTRING "${rest}" 0 ${end} code)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/readme_host.c" "${code}")

get_filename_component(library_dir "${LIBRARY}" DIRECTORY)
# The library's own dependencies are its business: only the example's calls
# are resolved here (a sanitized tree's library needs its runtime too).
execute_process(
  COMMAND "${C_COMPILER}" -std=c11 -Wall -Wextra -Werror -pedantic-errors
          -I "${INCLUDE_DIR}" readme_host.c -o readme_host
          "${LIBRARY}" "-Wl,-rpath,${library_dir}" -Wl,--allow-shlib-undefined
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The C example of ${README} (written to ${WORK_DIR}/readme_host.c) "
                      "does not build against ${LIBRARY}:\n${output}")
endif()
if(NOT EXISTS "${WORK_DIR}/readme_host")
  message(FATAL_ERROR "the compiler made no program of the C example of ${README}")
endif()
message(STATUS "The C example of ${README} builds and links against ${LIBRARY}")
