# cmake -DWIXL= -DMSIBUILD= -DSOURCE_DIR= -DBIN64= -DBIN32= -DVERSION= -DOUTPUT= -DSTAGE= -P make_msi.cmake
# Lays the package's files out in STAGE and makes OUTPUT from package/zrlogext.wxs with wixl, then
# sets with msibuild what wixl cannot express. Does nothing when OUTPUT is newer than every input.
set(inputs ${BIN64}/zrlogext.dll ${BIN64}/jobacct.exe ${BIN64}/zrinstall.dll ${BIN32}/zrlogext.dll
    ${SOURCE_DIR}/samples/zrjobacs.str ${SOURCE_DIR}/package/zrlogext.wxs ${CMAKE_CURRENT_LIST_FILE})
foreach(input ${inputs})
    if(NOT EXISTS ${input})
        message(FATAL_ERROR "${input} is missing: the package needs both builds (scripts/setup.sh builds the 32-bit one first, "
                            "and passes its bin folder as ZR_MODULE32_DIR)")
    endif()
endforeach()
set(stale FALSE)
foreach(input ${inputs})
    if(NOT EXISTS ${OUTPUT} OR ${input} IS_NEWER_THAN ${OUTPUT})
        set(stale TRUE)
    endif()
endforeach()
if(NOT stale)
    return()
endif()

# The 32-bit module must be one: a 32-bit folder holding an x64 module would fail every 32-bit driver.
file(READ ${BIN32}/zrlogext.dll header LIMIT 512 HEX)
string(SUBSTRING "${header}" 120 8 offset_hex)  # e_lfanew, little-endian, at byte 60
string(SUBSTRING "${offset_hex}" 0 2 b0)
string(SUBSTRING "${offset_hex}" 2 2 b1)
math(EXPR machine_at "(0x${b1}${b0} + 4) * 2")
string(SUBSTRING "${header}" ${machine_at} 4 machine)
if(NOT machine STREQUAL "4c01")
    message(FATAL_ERROR "${BIN32}/zrlogext.dll is not a 32-bit module (machine ${machine})")
endif()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/x64 ${STAGE}/x86 ${STAGE}/data)
file(COPY ${BIN64}/zrlogext.dll ${BIN64}/jobacct.exe ${BIN64}/zrinstall.dll DESTINATION ${STAGE}/x64)
file(COPY ${BIN32}/zrlogext.dll DESTINATION ${STAGE}/x86)
file(COPY ${SOURCE_DIR}/samples/zrjobacs.str DESTINATION ${STAGE}/data)
# The data files mark a driver's mode by their names; the master copy starts in Mode 4 with no IDs.
file(WRITE ${STAGE}/data/vtjobac1.dat "")
file(WRITE ${STAGE}/data/vtjobac2.dat "")
file(WRITE ${STAGE}/data/vtjobac4.dat "[JobAccount]\r\nMode=4\r\n")

set(made ${OUTPUT}.made)
file(REMOVE ${made})
execute_process(COMMAND ${WIXL} -a x64 -D Version=${VERSION} -D Bin64=x64 -D Bin32=x86 -D Data=data
                        -o ${made} ${SOURCE_DIR}/package/zrlogext.wxs
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "wixl could not make the package")
endif()

set(key "SOFTWARE\\Tavrodata\\TAVRO Jobtally Client")
function(complete query)
    execute_process(COMMAND ${MSIBUILD} ${made} -q "${query}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "msibuild could not run: ${query}")
    endif()
endfunction()
# Public properties reach the deferred actions of a managed installation only when secure.
complete("UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;MODE;ALLDRIVERS;STRINGFILE;IDFILE' WHERE `Property` = 'SecureCustomProperties'")
# The administrator's string file and master copy are never overwritten, so that an upgrade keeps
# them (256: a 64-bit component; 128: never overwrite).
complete("UPDATE `Component` SET `Attributes` = 384 WHERE `Component` = 'StringFile64'")
complete("UPDATE `Component` SET `Attributes` = 384 WHERE `Component` = 'MasterCopy64'")
complete("UPDATE `Component` SET `Attributes` = 128 WHERE `Component` = 'StringFile32'")
complete("UPDATE `Component` SET `Attributes` = 128 WHERE `Component` = 'MasterCopy32'")
# The record of the drivers the package switched goes with the package.
complete("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('SwitchedDrivers', 'Settings64', 'switched-drivers.txt', 'INSTALLDIR64', 2)")
# The module's own values under its key ("AllFlag", "AllMode", "DefaultMode") go with the key, in
# both registry views ("-": the key is removed with its component).
complete("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('SettingsKey64', 2, '${key}', '-', 'Settings64')")
complete("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('SettingsKey32', 2, '${key}', '-', 'Settings32')")
file(RENAME ${made} ${OUTPUT})
message(STATUS "made ${OUTPUT}")
