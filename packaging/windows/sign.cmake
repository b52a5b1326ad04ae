# Authenticode signing of the Windows programs and installer with
# osslsigncode: SHA-256 digests and an RFC 3161 time stamp. Included by the
# packaging scripts (stage-zip.cmake, make-msi.cmake).
#
# Signs only when a certificate is given, from the first of: the variable
# LDT_SIGN_<NAME> (the CMake cache, passed on by the build), CPACK_LDT_SIGN_<NAME>
# (the same, inside CPack), the environment variable LDT_SIGN_<NAME> at build
# time, for each NAME of
#   CERT           the certificate (PEM or DER), or a PKCS#12 file (.p12,
#                  .pfx) that holds the key as well
#   KEY            its private key (PEM or DER); empty for a PKCS#12 file
#   PASSWORD_FILE  a file holding the key's password, if it has one
#   TIMESTAMP_URL  the time-stamp server (RFC 3161); required for signing
# Without a certificate nothing is touched, so that an unsigned build stays
# byte for byte what it was.

function(ldt_sign_setting name out)
    if(LDT_SIGN_${name})
        set(${out} "${LDT_SIGN_${name}}" PARENT_SCOPE)
    elseif(CPACK_LDT_SIGN_${name})
        set(${out} "${CPACK_LDT_SIGN_${name}}" PARENT_SCOPE)
    else()
        set(${out} "$ENV{LDT_SIGN_${name}}" PARENT_SCOPE)
    endif()
endfunction()

# ldt_sign(FILE...): signs each file in place, or does nothing without a
# certificate. Fails the build when a signature cannot be made.
function(ldt_sign)
    ldt_sign_setting(CERT cert)
    if(NOT cert)
        return()
    endif()
    ldt_sign_setting(KEY key)
    ldt_sign_setting(PASSWORD_FILE password_file)
    ldt_sign_setting(TIMESTAMP_URL url)
    if(NOT url)
        message(FATAL_ERROR "sign: LDT_SIGN_TIMESTAMP_URL is not set; signatures are time-stamped so that they outlive the certificate")
    endif()
    if(key)
        set(credentials -certs "${cert}" -key "${key}")
    elseif(cert MATCHES "\\.(p12|pfx)$")
        set(credentials -pkcs12 "${cert}")
    else()
        message(FATAL_ERROR "sign: LDT_SIGN_KEY is not set and ${cert} is not a PKCS#12 file (.p12, .pfx)")
    endif()
    if(password_file)
        list(APPEND credentials -readpass "${password_file}")
    endif()
    find_program(LDT_OSSLSIGNCODE osslsigncode)
    if(NOT LDT_OSSLSIGNCODE)
        message(FATAL_ERROR "sign: osslsigncode was not found (apt-get install osslsigncode)")
    endif()

    foreach(file IN LISTS ARGN)
        file(REMOVE "${file}.signed")
        execute_process(COMMAND "${LDT_OSSLSIGNCODE}" sign -h sha256 ${credentials}
                                -n "Laser Diagnostic Tool" -ts "${url}"
                                -in "${file}" -out "${file}.signed"
                        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT status EQUAL 0)
            file(REMOVE "${file}.signed")
            message(FATAL_ERROR "sign: osslsigncode could not sign ${file}:\n${output}")
        endif()
        # Copied over the original, which keeps its mode.
        execute_process(COMMAND cp "${file}.signed" "${file}" RESULT_VARIABLE status)
        file(REMOVE "${file}.signed")
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "sign: could not replace ${file} with its signed copy")
        endif()
        message(STATUS "sign: signed ${file}")
    endforeach()
endfunction()
