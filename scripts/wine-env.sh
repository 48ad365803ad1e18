# Sourced: which Wine loader this machine can use and which prefix a program belongs in.

# The 32-bit Wine loader needs a kernel that runs 32-bit programs; some kernels are built without.
zr_wine32_runs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# True for a PE32+ (x64) program file.
zr_is_pe64() {
    local file=${1:-} offset magic
    [ -f "$file" ] || return 1
    offset=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
    [ -n "$offset" ] || return 1
    magic=$(od -An -t x2 -j $((offset + 24)) -N 2 "$file" 2>/dev/null | tr -d ' ')
    [ "$magic" = 020b ]
}

# A 64-bit prefix runs under the 64-bit loader directly, so it works where 32-bit Wine cannot start;
# a 32-bit prefix needs Debian's `wine`, which picks the 32-bit loader.
zr_wine_loader() {
    if grep -q '^#arch=win64' "$WINEPREFIX/system.reg" 2>/dev/null || { [ "${WINEARCH:-}" = win64 ] && [ ! -f "$WINEPREFIX/system.reg" ]; }; then
        echo /usr/lib/wine/wine64
    else
        echo wine
    fi
}

# Creates a Wine prefix of the given kind once: make_prefix <directory> <win32|win64>.
make_prefix() {
    [ -f "$1/system.reg" ] && return 0
    echo "== creating the Wine prefix $1"
    (
        export WINEPREFIX=$1 WINEARCH=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        loader=$(zr_wine_loader)
        [ "$loader" = wine ] || export WINELOADER=$loader
        "$loader" wineboot -i >/dev/null 2>&1
        # Without a window manager every close of a top-level window otherwise stalls for 2 s.
        "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        # A program that crashes ends with its backtrace on stderr instead of waiting on Wine's
        # crash dialog, which nobody answers in a test run.
        "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -w
    )
}
