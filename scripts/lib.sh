# Shared by the project's scripts: paths and the Wine environment. Sourced, never run.
QUILLET_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# QUILLET_COMPILER picks the compiler and with it the preset and the build tree: gcc (the default) builds
# into build/, clang (clang-19 and lld, checked by clang-tidy-19) into build-clang/.
case ${QUILLET_COMPILER:=gcc} in
gcc) QUILLET_PRESET=mingw quillet_tree=build ;;
clang) QUILLET_PRESET=mingw-clang quillet_tree=build-clang ;;
*)
    echo "error: QUILLET_COMPILER must be gcc or clang, not $QUILLET_COMPILER" >&2
    exit 2
    ;;
esac
QUILLET_BUILD=${QUILLET_BUILD:-$QUILLET_ROOT/$quillet_tree}

# Headless and quiet: no debug channels, no Mono/Gecko installers, no X display needed.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

# quillet_prefix_ready PREFIX: creates the Wine prefix once (about 10 s), serialised by a lock so that
# parallel callers never boot the same prefix twice, and keeps its wineserver resident.
quillet_prefix_ready() {
    local prefix=$1
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            echo "Creating Wine prefix $prefix ..." >&2
            WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1 || true
            WINEPREFIX=$prefix wineserver -w
            [ -f "$prefix/system.reg" ] || { echo "error: could not create Wine prefix $prefix" >&2; exit 1; }
        fi
    ) 9>"$prefix.lock" || return 1
    # A resident wineserver saves about a second on every program start; it exits 2 when one runs already.
    # Wine's own background processes start with the first program and live as long as the server; start
    # them here, detached from every pipe, or they would hold a caller's output pipe open (ctest waits
    # for it to close).
    if WINEPREFIX=$prefix wineserver -p </dev/null >/dev/null 2>&1; then
        WINEPREFIX=$prefix wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
    fi
}
