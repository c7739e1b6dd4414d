# nlohmann/json (header-only) as the target nlohmann_json::nlohmann_json.
# A native Windows build takes vcpkg's package (vcpkg.json). The cross build takes Debian's headers
# (nlohmann-json3-dev, installed by scripts/bootstrap) through a copy in the build tree, so that its include
# path holds that one library and never the rest of /usr/include.
if(NOT CMAKE_CROSSCOMPILING)
    find_package(nlohmann_json 3.10 CONFIG QUIET)
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
    set(QUILLET_NLOHMANN_DIR "/usr/include/nlohmann" CACHE PATH "nlohmann/json's header folder")
    if(NOT EXISTS "${QUILLET_NLOHMANN_DIR}/json.hpp")
        message(FATAL_ERROR "nlohmann/json not found in ${QUILLET_NLOHMANN_DIR}: run scripts/bootstrap "
                            "(or set QUILLET_NLOHMANN_DIR)")
    endif()
    set(staged "${CMAKE_BINARY_DIR}/third_party/include")
    file(COPY "${QUILLET_NLOHMANN_DIR}" DESTINATION "${staged}")
    add_library(quillet_nlohmann_json INTERFACE)
    target_include_directories(quillet_nlohmann_json SYSTEM INTERFACE "${staged}")
    add_library(nlohmann_json::nlohmann_json ALIAS quillet_nlohmann_json)
endif()
