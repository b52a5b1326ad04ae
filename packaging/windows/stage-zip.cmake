# CPACK_PRE_BUILD_SCRIPTS hook for the Windows zip: runs on the staged files
# before they are packed. Signs the programs when a certificate is given
# (sign.cmake), writes SHA256SUMS for exactly the files that are shipped
# (after CPack stripped them), then gives every staged file and folder the
# time SOURCE_DATE_EPOCH, since the zip records each file's time.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
if(NOT EXISTS "${stage}/LaserDiagnosticTool.exe")
    message(FATAL_ERROR "stage-zip: no LaserDiagnosticTool.exe in ${stage}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
ldt_sign("${stage}/LaserDiagnosticTool.exe" "${stage}/ldt-report.exe")

set(sums "")
foreach(name LaserDiagnosticTool.exe ldt-report.exe README.txt)
    if(NOT EXISTS "${stage}/${name}")
        message(FATAL_ERROR "stage-zip: ${name} is missing from ${stage}")
    endif()
    file(SHA256 "${stage}/${name}" hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${stage}/SHA256SUMS" "${sums}")
file(CHMOD "${stage}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

file(GLOB_RECURSE staged LIST_DIRECTORIES true "${stage}/*")
execute_process(COMMAND touch -h -d "@${CPACK_LDT_SOURCE_DATE_EPOCH}" "${stage}" ${staged}
                RESULT_VARIABLE touched)
if(NOT touched EQUAL 0)
    message(FATAL_ERROR "stage-zip: could not set the file times in ${stage}")
endif()
