# Run after the module is linked: fails the build when the import slot of a function from a DLL
# loaded at first call leads nowhere, that is when the function's thunk was left out of the link
# and its symbol stands as an absolute zero.
#
# cmake -DNM=<nm> -DMODULE=<dll> -DTHUNK_LISTS=<list;...> -P check_delay_thunks.cmake
execute_process(COMMAND ${NM} ${MODULE} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${NM} cannot list ${MODULE}")
endif()
set(thunks "")
foreach(list ${THUNK_LISTS})
    file(STRINGS ${list} names)
    list(APPEND thunks ${names})
endforeach()
string(REGEX MATCHALL "[0-9a-fA-F]+ A [^\n]+" absolutes "${symbols}")
set(lost "")
foreach(entry ${absolutes})
    string(REGEX REPLACE "^[0-9a-fA-F]+ A " "" name "${entry}")
    list(FIND thunks "${name}" index)
    if(NOT index EQUAL -1)
        list(APPEND lost ${name})
    endif()
endforeach()
if(lost)
    message(FATAL_ERROR "${MODULE}: the thunks of ${lost} were not linked; their import slots lead nowhere")
endif()
