# Builds the Windows installer LaserDiagnosticTool-<version>-win32.msi with
# wixl from LaserDiagnosticTool.wxs beside this file, and signs it when a
# certificate is given (sign.cmake). Runs in two ways:
#   - as CPack's post-build hook of the zip (`package`), on the zip's staged
#     files, which stage-zip.cmake has already signed;
#   - by the `msi` target:
#       cmake -DLDT_STAGE=DIR -DLDT_MSI=FILE -DLDT_VERSION=A.B.C.D
#             [-DLDT_SIGN_PROGRAMS=ON] [-DLDT_WIXL=wixl] [-DLDT_SIGN_...=...]
#             -P make-msi.cmake
#     where DIR holds the installed programs and README.txt; with
#     LDT_SIGN_PROGRAMS the programs are signed on their way in.
if(CPACK_TEMPORARY_DIRECTORY)
    set(LDT_STAGE "${CPACK_TEMPORARY_DIRECTORY}")
    # Beside the zip.
    set(LDT_MSI "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")
    set(LDT_VERSION "${CPACK_PACKAGE_VERSION}")
    set(LDT_WIXL "${CPACK_LDT_WIXL}")
    set(LDT_SIGN_PROGRAMS OFF)
endif()
foreach(var LDT_STAGE LDT_MSI LDT_VERSION)
    if(NOT ${var})
        message(FATAL_ERROR "make-msi: ${var} is not set")
    endif()
endforeach()
if(NOT LDT_WIXL)
    find_program(LDT_WIXL wixl)
endif()
if(NOT LDT_WIXL)
    message(FATAL_ERROR "make-msi: wixl was not found (apt-get install wixl)")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)

# Windows Installer keeps a version as major.minor.build (at most
# 255.255.65535) and ignores a fourth field in its comparisons. The
# installer compares the fourth field itself, through VersionKey: every
# field zero-padded, so that two versions order as text. The upgrade range
# in the .wxs ends at 100.0.0.
if(NOT LDT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "make-msi: the version '${LDT_VERSION}' does not have four numeric fields")
endif()
set(fields ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
set(limits 99 255 65535 65535)
set(widths 3 3 5 5)
set(key "")
foreach(value limit width IN ZIP_LISTS fields limits widths)
    if(value GREATER limit)
        message(FATAL_ERROR "make-msi: version ${LDT_VERSION}: ${value} is above ${limit}")
    endif()
    string(LENGTH "${value}" length)
    while(length LESS width)
        string(PREPEND value 0)
        math(EXPR length "${length} + 1")
    endwhile()
    string(APPEND key ".${value}")
endforeach()
string(SUBSTRING "${key}" 1 -1 key)

# wixl takes Source paths relative to its working folder only.
set(work "${LDT_STAGE}-msi")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
foreach(name LaserDiagnosticTool.exe ldt-report.exe README.txt)
    if(NOT EXISTS "${LDT_STAGE}/${name}")
        message(FATAL_ERROR "make-msi: ${name} is missing from ${LDT_STAGE}")
    endif()
    file(COPY "${LDT_STAGE}/${name}" DESTINATION "${work}")
endforeach()
file(COPY "${CMAKE_CURRENT_LIST_DIR}/../../res/icon/app.ico" DESTINATION "${work}")
if(LDT_SIGN_PROGRAMS)
    ldt_sign("${work}/LaserDiagnosticTool.exe" "${work}/ldt-report.exe")
endif()

file(REMOVE "${LDT_MSI}")
execute_process(COMMAND "${LDT_WIXL}" -a x86 -D "Version=${LDT_VERSION}" -D "VersionKey=${key}"
                        -o "${LDT_MSI}" "${CMAKE_CURRENT_LIST_DIR}/LaserDiagnosticTool.wxs"
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT EXISTS "${LDT_MSI}")
    message(FATAL_ERROR "make-msi: wixl failed (${status})")
endif()
ldt_sign("${LDT_MSI}")
message(STATUS "make-msi: ${LDT_MSI} (version ${LDT_VERSION})")
