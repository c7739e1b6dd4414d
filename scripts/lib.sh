# Shared by the project's scripts: paths and the Wine environment. Sourced, never run.
QUILLET_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUILLET_BUILD=${QUILLET_BUILD:-$QUILLET_ROOT/build}

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
