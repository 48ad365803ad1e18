# Sourced: starts Xvfb on a free display unless one is already usable (start_display), a persistent
# wineserver with Wine's services for the prefix in WINEPREFIX (start_wine), and ends them all
# (stop_display).
started_prefixes=()

start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        own_xvfb=""
    else
        local n=91
        while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        own_xvfb=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    fi
}

start_wine() {
    WINEDEBUG=-all wineserver -p
    started_prefixes+=("$WINEPREFIX")
    # Start Wine's background services now, detached from our output: started by the first test
    # program instead, they would hold ctest's output pipe open and stall it until its timeout.
    "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_display() {
    local prefix
    for prefix in "${started_prefixes[@]}"; do
        WINEPREFIX=$prefix WINEDEBUG=-all wineserver -k 2>/dev/null || true
    done
    if [ -n "${own_xvfb:-}" ]; then kill "$own_xvfb" 2>/dev/null || true; wait "$own_xvfb" 2>/dev/null || true; fi
}
