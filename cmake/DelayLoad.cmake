# ldt_delay_load(TARGET LIB...): TARGET imports the system DLLs of the
# import libraries LIB... (oleacc, oleaut32, ...) through delay-load
# import libraries made here from the toolchain's own, so that each DLL is
# loaded on the first call into it instead of when the program starts.
# Linked ahead of the plain import libraries, which stay for anything the
# delay-load ones lack.
function(ldt_delay_load target)
    set(dir ${CMAKE_BINARY_DIR}/delayload)
    file(MAKE_DIRECTORY ${dir})
    foreach(lib IN LISTS ARGN)
        set(out ${dir}/lib${lib}_delay.a)
        if(NOT EXISTS ${out})
            find_library(ldt_implib_${lib} ${lib} REQUIRED)
            execute_process(COMMAND ${CMAKE_NM} ${ldt_implib_${lib}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
            # Each import shows as "__imp__Name@N": the export list of the DLL.
            string(REGEX MATCHALL "I __imp__[^\r\n]+" imports "${symbols}")
            list(TRANSFORM imports REPLACE "^I __imp__" "")
            list(REMOVE_DUPLICATES imports)
            list(SORT imports)
            list(JOIN imports "\n" exports)
            file(WRITE ${dir}/${lib}.def "LIBRARY ${lib}.dll\nEXPORTS\n${exports}\n")
            execute_process(COMMAND ${CMAKE_DLLTOOL} -k --input-def ${dir}/${lib}.def --output-delaylib ${out}
                                    --dllname ${lib}.dll
                            COMMAND_ERROR_IS_FATAL ANY)
        endif()
        target_link_libraries(${target} PRIVATE ${out})
    endforeach()
endfunction()
