# Fails when the program NO_GUI loads Qt's widget, GUI or UI-tools library, or the program NO_QT loads any
# Qt library at all, as ldd lists what each loads.
function(check file forbidden)
    execute_process(COMMAND ldd ${file} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT libraries MATCHES "libc\\.so")
        message(FATAL_ERROR "ldd ${file} failed: ${libraries}")
    endif()
    if(libraries MATCHES "${forbidden}")
        message(FATAL_ERROR "${file} loads ${CMAKE_MATCH_0}")
    endif()
endfunction()
check("${NO_QT}" "libQt6[A-Za-z]*")
check("${NO_GUI}" "libQt6(Widgets|Gui|UiTools|OpenGL)[A-Za-z]*")
message(STATUS "${NO_QT} loads no Qt; ${NO_GUI} loads no Qt GUI")
