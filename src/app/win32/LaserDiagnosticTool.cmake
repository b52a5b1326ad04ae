# LaserDiagnosticTool.exe: the GUI program (included from src/app for WIN32).
enable_language(RC)

if(NOT TARGET ldt_gui)
    add_subdirectory(${PROJECT_SOURCE_DIR}/src/platform/win32/gui ${CMAKE_CURRENT_BINARY_DIR}/gui)
endif()

ldt_add_executable(LaserDiagnosticTool WIN32
    ${CMAKE_CURRENT_LIST_DIR}/DiagnosticApp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DiagnosticDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowAccessible.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LeanRuntime.cpp
    ${PROJECT_SOURCE_DIR}/src/app/IdleWorkClock.cpp
    ${PROJECT_SOURCE_DIR}/res/LaserDiagnosticTool.rc
)
set_target_properties(LaserDiagnosticTool PROPERTIES OUTPUT_NAME LaserDiagnosticTool)
# The screen readers' library loads when a screen reader first asks for the
# window, not at every start; so does oleaut32, whose one call the window
# makes (SysAllocStringLen) is looked up by name then (WindowAccessible.cpp).
include(${PROJECT_SOURCE_DIR}/cmake/DelayLoad.cmake)
ldt_delay_load(LaserDiagnosticTool oleacc)
target_include_directories(LaserDiagnosticTool PRIVATE ${PROJECT_SOURCE_DIR}/res)
target_link_libraries(LaserDiagnosticTool PRIVATE ldt_gui ldt_core ldt_platform gdi32 user32 setupapi
    ole32 oleacc uuid)
target_compile_options(LaserDiagnosticTool PRIVATE -ffunction-sections -fdata-sections)
target_link_options(LaserDiagnosticTool PRIVATE -municode -mwindows -Wl,--gc-sections
    $<$<CONFIG:MinSizeRel,Release>:-s>)

# The resource script names its files relative to the source root.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/res/LaserDiagnosticTool.rc APPEND PROPERTY
    OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/res/resource.h
                   ${PROJECT_SOURCE_DIR}/res/DialogTemplate.rc
                   ${PROJECT_SOURCE_DIR}/res/icon/app.ico
                   ${PROJECT_SOURCE_DIR}/res/skin/SkinBitmap.bmp
                   ${PROJECT_SOURCE_DIR}/res/LaserDiagnosticTool.manifest
                   ${PROJECT_SOURCE_DIR}/res/CommonControls.manifest)
target_include_directories(LaserDiagnosticTool PRIVATE ${PROJECT_SOURCE_DIR})
ldt_use_skin_runs(LaserDiagnosticTool ${PROJECT_SOURCE_DIR}/res/LaserDiagnosticTool.rc)

install(TARGETS LaserDiagnosticTool RUNTIME DESTINATION ${LDT_INSTALL_BINDIR})
