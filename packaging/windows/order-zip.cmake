# CPACK_POST_BUILD_SCRIPTS hook for the Windows zip. CPack's zip lists the
# staged files in directory order, which depends on the file system (ext4
# lists by a per-disk hash), and records the builder's user and group ids.
# Packs the same staged files again with Info-ZIP: in name order, with only
# the file times and modes (-X: no uid/gid, no extra time fields), no
# folder entries, so that every builder gets the same bytes.
list(LENGTH CPACK_PACKAGE_FILES count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "order-zip: expected one package, got '${CPACK_PACKAGE_FILES}'")
endif()
if(NOT CPACK_LDT_ZIP)
    message(FATAL_ERROR "order-zip: the zip program was not found (apt-get install zip)")
endif()
file(GLOB_RECURSE entries RELATIVE "${CPACK_TOPLEVEL_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")  # files only
list(SORT entries)
file(REMOVE "${CPACK_PACKAGE_FILES}")
# The zip's times are local times: TZ is UTC here (packaging/CPackProject.cmake).
execute_process(COMMAND "${CPACK_LDT_ZIP}" -X -D -q -9 "${CPACK_PACKAGE_FILES}" ${entries}
                WORKING_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}" RESULT_VARIABLE packed)
if(NOT packed EQUAL 0)
    message(FATAL_ERROR "order-zip: zip failed (${packed})")
endif()
