# Makes the DLL's import library for C hosts: every name of the .def with the
# stdcall decoration the compiler gives it (found in the DLL's symbol table),
# bound to the plain export name.
# cmake -DDEF=quorvex.def -DDLL=quorvex.dll -DNM=nm -DDLLTOOL=dlltool -DOUT=libquorvex.dll.a -P this
execute_process(COMMAND ${NM} -g --defined-only ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} could not read ${DLL}")
endif()
file(STRINGS ${DEF} def_lines)
set(decorated "LIBRARY quorvex.dll\nEXPORTS\n")
set(in_exports FALSE)
foreach(line ${def_lines})
  string(STRIP "${line}" name)
  if(name STREQUAL "EXPORTS")
    set(in_exports TRUE)
  elseif(in_exports AND NOT name STREQUAL "")
    if(symbols MATCHES " T _${name}(@[0-9]+)\n")
      string(APPEND decorated "${name}${CMAKE_MATCH_1}\n")
    else()
      string(APPEND decorated "${name}\n")  # no arguments decoration: a plain C function
    endif()
  endif()
endforeach()
get_filename_component(out_dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
file(WRITE ${out_dir}/quorvex-decorated.def "${decorated}")
# --kill-at: the import names are the plain names the DLL exports.
execute_process(COMMAND ${DLLTOOL} --kill-at -d ${out_dir}/quorvex-decorated.def -D quorvex.dll -l ${OUT}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUT}")
endif()
