# Install step: writes SHA256SUMS (the format of sha256sum) over QUILLET_SHIPPED_FILES, which are relative
# to the installation folder.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(sums "")
foreach(file IN LISTS QUILLET_SHIPPED_FILES)
    file(SHA256 "${root}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
message(STATUS "Installing: ${root}/SHA256SUMS")
