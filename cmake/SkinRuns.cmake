# The twice-size skin in the run format of src/platform/SkinRuns.h, packed
# from res/skin/skin@2x.png at build time into ${LDT_SKIN_RUNS}, with the
# custom target ldt_skin_runs that makes it. A Windows resource script that
# names "res/skin/skin@2x.runs" finds it through the include path that
# ldt_use_skin_runs(TARGET RC_FILE) gives its target.
include_guard(GLOBAL)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(LDT_SKIN_RUNS_ROOT ${CMAKE_BINARY_DIR}/generated CACHE INTERNAL "")
set(LDT_SKIN_RUNS ${LDT_SKIN_RUNS_ROOT}/res/skin/skin@2x.runs CACHE INTERNAL "")
add_custom_command(OUTPUT ${LDT_SKIN_RUNS}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LDT_SKIN_RUNS_ROOT}/res/skin
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/res/skin/pack-skin.py
            ${PROJECT_SOURCE_DIR}/res/skin/skin@2x.png ${LDT_SKIN_RUNS}
    DEPENDS ${PROJECT_SOURCE_DIR}/res/skin/pack-skin.py ${PROJECT_SOURCE_DIR}/res/skin/skin@2x.png
    COMMENT "Packing the twice-size skin"
    VERBATIM)
add_custom_target(ldt_skin_runs DEPENDS ${LDT_SKIN_RUNS})

function(ldt_use_skin_runs target rc_file)
    add_dependencies(${target} ldt_skin_runs)
    target_include_directories(${target} PRIVATE ${LDT_SKIN_RUNS_ROOT})
    set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${LDT_SKIN_RUNS})
endfunction()
