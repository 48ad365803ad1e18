# The Windows Installer package for 64-bit Windows, zrlogext-<version>-x64.msi in the x64 build
# directory. It carries both widths' modules, so the x64 build makes it from the 32-bit build's
# module (ZR_MODULE32_DIR, the 32-bit build's bin folder, which scripts/setup.sh builds first): the
# x64 build is the one whose programs (jobacct, the installer's custom actions) the package runs,
# and its tests install the package into a 64-bit prefix.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()

# The installer's custom actions, run by msiexec from the package's Binary table.
add_library(zrinstall SHARED src/setup/install_actions.cpp src/setup/install_actions.def)
set_target_properties(zrinstall PROPERTIES PREFIX "")
target_compile_options(zrinstall PRIVATE ${ZR_WARNINGS})
target_include_directories(zrinstall PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zrinstall PRIVATE msi winspool)
target_link_options(zrinstall PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)

set(ZR_MODULE32_DIR "${CMAKE_SOURCE_DIR}/build/bin" CACHE PATH "the 32-bit build's bin folder, whose module the package carries")
find_program(ZR_WIXL wixl)
find_program(ZR_MSIBUILD msibuild)
if(NOT ZR_WIXL OR NOT ZR_MSIBUILD)
    message(FATAL_ERROR "the package needs wixl and msibuild (Debian packages wixl and msitools; scripts/setup.sh installs them)")
endif()
set(ZR_MSI_PACKAGE ${CMAKE_BINARY_DIR}/zrlogext-${PROJECT_VERSION}-x64.msi)
# cmake/make_msi.cmake makes the package again only when one of its inputs is newer (the 32-bit
# module may be rebuilt outside this build), so the target runs it every time.
set(ZR_MAKE_MSI ${CMAKE_COMMAND} -DWIXL=${ZR_WIXL} -DMSIBUILD=${ZR_MSIBUILD}
    -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DBIN64=${CMAKE_BINARY_DIR}/bin -DBIN32=${ZR_MODULE32_DIR})
add_custom_target(msi_package ALL
    COMMAND ${ZR_MAKE_MSI} -DVERSION=${PROJECT_VERSION} -DOUTPUT=${ZR_MSI_PACKAGE}
            -DSTAGE=${CMAKE_BINARY_DIR}/msi-stage -P ${CMAKE_SOURCE_DIR}/cmake/make_msi.cmake
    VERBATIM)
add_dependencies(msi_package zrlogext jobacct zrinstall)
