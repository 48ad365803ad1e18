# Run after the module is linked: fails the build when the module holds code compiled by a compiler
# of the POSIX thread model beside that of the win32 model, or registers its exception frames through
# the toolchain's own start file (which hands them to a shared libgcc when the process holds one).
# Every object a GCC of this toolchain compiles carries the compiler's version, which names its
# thread model ("GCC: (GNU) 12-win32"); the linked module keeps them all.
#
# cmake -DNM=<nm> -DMODULE=<dll> -DWIDTH=<4|8> -P check_thread_model.cmake
file(STRINGS ${MODULE} versions REGEX "GCC: \\(GNU\\) [^ ]+")
set(models "")
foreach(version IN LISTS versions)
    if(version MATCHES "GCC: \\(GNU\\) [0-9.]+-(win32|posix)")
        list(APPEND models ${CMAKE_MATCH_1})
    endif()
endforeach()
list(REMOVE_DUPLICATES models)
if(NOT models STREQUAL "win32")
    message(FATAL_ERROR "${MODULE}: compiled for the thread models '${models}'; the module must hold the win32 model's code alone")
endif()
if(WIDTH EQUAL 4)
    execute_process(COMMAND ${NM} ${MODULE} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${NM} cannot list ${MODULE}")
    endif()
    if(symbols MATCHES " _hmod_libgcc\n")
        message(FATAL_ERROR "${MODULE}: linked with the toolchain's crtbegin.o, which registers the module's frames with a shared libgcc")
    endif()
endif()
