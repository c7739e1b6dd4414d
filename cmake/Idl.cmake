# quillet_compile_idl(<idl> PREFIX <name> [TLB])
# Compiles an IDL file with widl (mingw) or MIDL (MSVC) into <binary dir>/<name>.h and <name>_i.c,
# and with TLB also <name>.tlb. Sets <name>_IDL_HEADER, <name>_IDL_IIDS and <name>_IDL_TLB in the caller.
function(quillet_compile_idl idl)
    cmake_parse_arguments(ARG "TLB" "PREFIX" "" ${ARGN})
    get_filename_component(idl_abs "${idl}" ABSOLUTE)
    set(out "${CMAKE_CURRENT_BINARY_DIR}")
    set(header "${out}/${ARG_PREFIX}.h")
    set(iids "${out}/${ARG_PREFIX}_i.c")
    set(tlb "${out}/${ARG_PREFIX}.tlb")
    set(outputs "${header}" "${iids}")
    if(ARG_TLB)
        list(APPEND outputs "${tlb}")
    endif()

    if(MSVC)
        # Not /WX: MIDL warns about DWORD in an [oleautomation] interface, and the service's interfaces
        # have DWORD parameters that are part of its contract.
        set(cmd midl /nologo /env x64 /W1 /h "${header}" /iid "${iids}")
        if(ARG_TLB)
            list(APPEND cmd /tlb "${tlb}")
        endif()
        list(APPEND cmd "${idl_abs}")
    else()
        # widl ships without the system IDL files; Wine's development package has them,
        # and stdole2.tlb for importlib() lives among Wine's PE libraries.
        set(cmd ${QUILLET_WIDL} --win64 -I "${QUILLET_WINE_IDL_DIR}" -L "${QUILLET_WINE_PE_DIR}"
                -h -H "${header}" -u -U "${iids}")
        if(ARG_TLB)
            list(APPEND cmd -t -T "${tlb}")
        endif()
        list(APPEND cmd "${idl_abs}")
    endif()

    add_custom_command(OUTPUT ${outputs}
        COMMAND ${cmd}
        DEPENDS "${idl_abs}"
        COMMENT "Compiling ${idl}"
        VERBATIM)
    set(${ARG_PREFIX}_IDL_HEADER "${header}" PARENT_SCOPE)
    set(${ARG_PREFIX}_IDL_IIDS "${iids}" PARENT_SCOPE)
    set(${ARG_PREFIX}_IDL_TLB "${tlb}" PARENT_SCOPE)
endfunction()
