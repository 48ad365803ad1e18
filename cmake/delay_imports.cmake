# Delay-load import libraries for system DLLs the module needs only on rare paths (dialogs of the
# administrator, the certificate, the host address): a process that loads the module to print pays
# for loading them only when such a path runs. Each library is made at configure time from the
# toolchain's own import library: every function it imports becomes a .def entry, and dlltool
# turns that into a library whose imports the C runtime's delay-load helper binds at first call.
#
# zr_delay_import_libraries(<output variable> <library>...) sets the variable to the paths of the
# delay-load libraries, one for each of lib<library>.a, in the order given, and <output
# variable>_THUNKS to the files naming their thunks (for cmake/check_delay_thunks.cmake).
#
# Each function's import slot starts out pointing at its thunk (a jump through the slot, then the
# helper's call), and code reaches the function through the slot alone. The 32-bit linker drops a
# thunk from an import library member when nothing names the thunk's symbol, which leaves the slot
# pointing nowhere and crashes the first call. Made local to their members, the thunks stay out of
# that pruning, and every width links them alike.
function(zr_delay_import_libraries output)
    set(made "")
    set(thunk_lists "")
    set(directory ${CMAKE_BINARY_DIR}/delayimp)
    file(MAKE_DIRECTORY ${directory})
    foreach(library ${ARGN})
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${library}.a
                        OUTPUT_VARIABLE import OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT EXISTS "${import}")
            message(FATAL_ERROR "no import library lib${library}.a in the toolchain")
        endif()
        execute_process(COMMAND ${CMAKE_NM} --defined-only ${import} OUTPUT_VARIABLE symbols
                        RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "${CMAKE_NM} cannot list ${import}")
        endif()
        # x64 names its import slots __imp_Name; 32-bit __imp__Name@bytes, whose decoration the
        # .def entry keeps and --kill-at leaves out of the name looked up in the DLL.
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            set(slot "__imp__")
            set(prefix "_")
            set(kill_at --kill-at)
        else()
            set(slot "__imp_")
            set(prefix "")
            set(kill_at "")
        endif()
        string(REGEX MATCHALL " I ${slot}[A-Za-z0-9_@?$]+" entries "${symbols}")
        set(def "LIBRARY \"${library}.dll\"\nEXPORTS\n")
        set(thunks "")
        set(seen "")
        foreach(entry ${entries})
            string(REPLACE " I ${slot}" "" name "${entry}")
            list(FIND seen "${name}" known)
            if(known EQUAL -1)
                list(APPEND seen "${name}")
                string(APPEND def "    ${name}\n")
                string(APPEND thunks "${prefix}${name}\n")
            endif()
        endforeach()
        list(LENGTH seen count)
        if(count EQUAL 0)
            message(FATAL_ERROR "no functions found in ${import}")
        endif()
        file(WRITE ${directory}/${library}.def "${def}")
        set(delay ${directory}/lib${library}_delay.a)
        execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${directory}/${library}.def --dllname ${library}.dll
                                --output-delaylib ${delay} ${kill_at}
                        RESULT_VARIABLE failed WORKING_DIRECTORY ${directory})
        if(failed OR NOT EXISTS ${delay})
            message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make ${delay}")
        endif()
        file(WRITE ${directory}/${library}.thunks "${thunks}")
        execute_process(COMMAND ${CMAKE_OBJCOPY} --localize-symbols=${directory}/${library}.thunks ${delay}
                        RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "${CMAKE_OBJCOPY} could not keep the thunks of ${delay}")
        endif()
        list(APPEND made ${delay})
        list(APPEND thunk_lists ${directory}/${library}.thunks)
    endforeach()
    set(${output} ${made} PARENT_SCOPE)
    set(${output}_THUNKS ${thunk_lists} PARENT_SCOPE)
endfunction()
