# The Windows download: the three programs (stripped), the example tokens, README.txt for Windows users
# and SHA256SUMS, zipped by CPack into <build>/Quillet-<version>-win64.zip (scripts/package).
set(programs Quillet PlenumEmulator QuilletTrace)
install(TARGETS ${programs} RUNTIME DESTINATION .)
# What scripts/package builds: the shipped programs only, none of the tests.
add_custom_target(quillet_shipped)
add_dependencies(quillet_shipped ${programs})

file(GLOB tokens CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/examples/tokens/*.tok")
install(FILES ${tokens} DESTINATION examples)

# Windows users open it in Notepad and the like, which expect CR LF; it names the version it ships with.
set(readme "${CMAKE_BINARY_DIR}/packaging/README.txt")
configure_file("${CMAKE_SOURCE_DIR}/packaging/README.txt" "${readme}" @ONLY NEWLINE_STYLE CRLF)
install(FILES "${readme}" DESTINATION .)

# Last of the rules, so that the sums are those of the files as they ship (after stripping).
set(shipped README.txt)
foreach(program IN LISTS programs)
    list(APPEND shipped "${program}${CMAKE_EXECUTABLE_SUFFIX}")
endforeach()
foreach(token IN LISTS tokens)
    get_filename_component(token "${token}" NAME)
    list(APPEND shipped "examples/${token}")
endforeach()
install(CODE "set(QUILLET_SHIPPED_FILES \"${shipped}\")")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/WriteChecksums.cmake")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quillet)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "Quillet-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
set(CPACK_STRIP_FILES ON)
set(QUILLET_PACKAGE_ZIP "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")
include(CPack)
