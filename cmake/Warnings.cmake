# Warnings are errors for the project's own code; third-party code is built without this.
function(quillet_strict target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /permissive- /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wshadow
            -Wold-style-cast -Wcast-qual -Wundef)
    endif()
endfunction()

# A console program with a wide entry point (wmain).
function(quillet_console_program target)
    quillet_strict(${target})
    if(NOT MSVC)
        target_link_options(${target} PRIVATE -municode)
    endif()
endfunction()
