# Packages built from the install rules by CPack:
#   cmake --build --preset linux --target package   the Debian package
#   cmake --build --preset win32 --target package   the Windows zip and installer
#   cmake --build --preset win32 --target msi       the Windows installer alone
# Included before any target is made, so that the reproducibility flags
# below reach every target of the Windows build.
include(GNUInstallDirs)

# One time for everything dated inside a package: SOURCE_DATE_EPOCH when
# set, else the time of the last commit, else a fixed date, so that two
# builds of the same sources give the same bytes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(LDT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE LDT_SOURCE_DATE_EPOCH
            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
endif()
if(NOT LDT_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(LDT_SOURCE_DATE_EPOCH 1796688000)  # 2026-12-08, version 1.0.0.1
endif()

set(CPACK_PACKAGE_NAME laser-diagnostic-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Laser Diagnostic Tool developers")
set(CPACK_PACKAGE_CONTACT
    "The Laser Diagnostic Tool developers <developers@laser-diagnostic-tool.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "show the settings of a laser engraving machine attached over USB")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Read by cpack for each generator: fixes the time zone and SOURCE_DATE_EPOCH.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/CPackProject.cmake)
set(CPACK_LDT_SOURCE_DATE_EPOCH ${LDT_SOURCE_DATE_EPOCH})
# `package_source` packs the source tree, never the builds in it.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git")

if(WIN32)
    # A zip to unpack anywhere: the two programs, README.txt and SHA256SUMS
    # in one folder.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME LaserDiagnosticTool-${PROJECT_VERSION}-win32)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    # Writes SHA256SUMS and dates every staged file at SOURCE_DATE_EPOCH.
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/windows/stage-zip.cmake)
    # Packs the zip again in name order, without the builder's ids, then
    # builds the installer from the same staged files.
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/windows/order-zip.cmake
                                 ${PROJECT_SOURCE_DIR}/packaging/windows/make-msi.cmake)
    find_program(LDT_ZIP zip)
    set(CPACK_LDT_ZIP ${LDT_ZIP})

    # Signing (packaging/windows/sign.cmake): with a certificate, the
    # programs in the zip and the installer, and the installer itself, are
    # signed and time-stamped. Each setting may also come from the
    # environment variable of the same name when the package is built.
    set(LDT_SIGN_CERT "" CACHE FILEPATH
        "Code-signing certificate (PEM or DER), or a PKCS#12 file with its key; empty: no signing")
    set(LDT_SIGN_KEY "" CACHE FILEPATH "The certificate's private key (PEM or DER)")
    set(LDT_SIGN_PASSWORD_FILE "" CACHE FILEPATH "A file holding the private key's password")
    set(LDT_SIGN_TIMESTAMP_URL "" CACHE STRING "The RFC 3161 time-stamp server to sign with")
    find_program(LDT_WIXL wixl)
    set(msi_settings)
    foreach(var LDT_WIXL LDT_SIGN_CERT LDT_SIGN_KEY LDT_SIGN_PASSWORD_FILE LDT_SIGN_TIMESTAMP_URL)
        set(CPACK_${var} "${${var}}")
        if(${var})
            list(APPEND msi_settings "-D${var}=${${var}}")
        endif()
    endforeach()

    # The installer alone, from the stripped programs as the zip has them.
    set(msi_stage ${PROJECT_BINARY_DIR}/packaging/msi/files)
    add_custom_target(msi
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${msi_stage}
        COMMAND ${CMAKE_COMMAND} -E env TZ=UTC SOURCE_DATE_EPOCH=${LDT_SOURCE_DATE_EPOCH}
                ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${msi_stage} --strip
        COMMAND ${CMAKE_COMMAND} ${msi_settings} -DLDT_STAGE=${msi_stage} -DLDT_SIGN_PROGRAMS=ON
                -DLDT_MSI=${PROJECT_BINARY_DIR}/LaserDiagnosticTool-${PROJECT_VERSION}-win32.msi
                -DLDT_VERSION=${PROJECT_VERSION}
                -P ${PROJECT_SOURCE_DIR}/packaging/windows/make-msi.cmake
        VERBATIM)
    add_dependencies(msi LaserDiagnosticTool ldt-report)

    # Reproducible programs: no link time in the PE header, no build paths
    # (source first, so that the build tree inside it maps to `build`).
    add_link_options(-Wl,--no-insert-timestamp)
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                        -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)

    # The version resource's fields (res/LaserDiagnosticTool.rc), for
    # resource scripts only. windres drops the quotes of a string define, so
    # the text goes in bare (one number token) and the script quotes it.
    string(REPLACE "." "," version_fields ${PROJECT_VERSION})
    add_compile_definitions("$<$<COMPILE_LANGUAGE:RC>:LDT_VERSION_FIELDS=${version_fields}>"
                            "$<$<COMPILE_LANGUAGE:RC>:LDT_VERSION_NUMBER=${PROJECT_VERSION}>")

    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in
                   ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION .)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_PACKAGE_NAME laser-diagnostic-tool)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    # The first Debian revision of the upstream version: the package is not
    # native, so its changelog is changelog.Debian.
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # Loaded when first needed, so not among the linked libraries.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libkmod2)
    set(CPACK_PACKAGE_DESCRIPTION [=[
Laser Diagnostic Tool finds a laser engraving machine attached over USB (a
printer-class device that the usblp driver presents as /dev/usb/lpN), asks
it once for its settings and shows the answer in one small window: FPGA and
firmware versions, laser tube, file speed, power, DPI/PPI, lens, carriage,
USB mode, focus distance, scaling, image offset and vector mode. The values
can be saved as a sixteen-line text report.

The command ldt-report prints the same report on a terminal, or as JSON.

A udev rule gives the user logged in at the desktop, and the group lp, read
and write access to USB printer-class devices, so that neither root nor
group changes are needed.
]=])
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/linux/postinst)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

    # The changelog names the version it ships; keep it in step with project().
    set(debian_dir ${PROJECT_SOURCE_DIR}/packaging/linux)
    file(STRINGS ${debian_dir}/changelog changelog_head LIMIT_COUNT 1)
    if(NOT changelog_head MATCHES "^laser-diagnostic-tool \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
        message(FATAL_ERROR "packaging/linux/changelog does not start with version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
    endif()

    # The manual pages name the version as @PROJECT_VERSION@.
    set(gz_dir ${PROJECT_BINARY_DIR}/packaging)
    foreach(page ldt-report.1 laser-diagnostic-tool.1)
        configure_file(${debian_dir}/${page} ${gz_dir}/man/${page} @ONLY)
    endforeach()

    # Debian wants the changelog and manual pages compressed without a name
    # or time in the gzip header.
    set(gz_files)
    foreach(pair ${debian_dir}/changelog:changelog.Debian ${gz_dir}/man/ldt-report.1:ldt-report.1
                 ${gz_dir}/man/laser-diagnostic-tool.1:laser-diagnostic-tool.1)
        string(REPLACE ":" ";" pair ${pair})
        list(GET pair 0 from)
        list(GET pair 1 to)
        add_custom_command(OUTPUT ${gz_dir}/${to}.gz
            COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${from} ${gz_dir}/${to}.gz
            DEPENDS ${from} VERBATIM)
        list(APPEND gz_files ${gz_dir}/${to}.gz)
    endforeach()
    add_custom_target(ldt_package_docs ALL DEPENDS ${gz_files})

    set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/laser-diagnostic-tool)
    install(FILES ${debian_dir}/copyright ${gz_dir}/changelog.Debian.gz DESTINATION ${doc_dir})
    install(FILES ${gz_dir}/ldt-report.1.gz ${gz_dir}/laser-diagnostic-tool.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # /usr/lib/udev/rules.d in the package.
    install(FILES ${debian_dir}/70-laser-diagnostic-tool.rules DESTINATION lib/udev/rules.d)
    install(FILES ${debian_dir}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
            RENAME laser-diagnostic-tool)
endif()

include(CPack)
