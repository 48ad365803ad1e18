#!/usr/bin/env bash
# Sets up what a fresh Debian machine lacks, builds the module, jobacct and the demo program in the
# width it shows (nothing else), installs sample printers in every job accounting mode in a Wine
# prefix of its own, switched as an administrator's installation does, and shows what zrlogext
# makes of them.
# It shows the 32-bit build where this machine can run 32-bit programs, else the x64 build;
# ZR_DEMO_WIDTH=64 asks for the x64 build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/packages.sh"
install_missing_packages "${zr_packages[@]}"
. "$root/scripts/wine-env.sh"
build32=${ZR_BUILD_DIR:-$root/build}
if [ "${ZR_DEMO_WIDTH:-}" = 64 ] || ! zr_wine32_runs; then
    build=${ZR_BUILD_DIR64:-$root/build64}
    arch=win64
    settings=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DZR_MODULE32_DIR="$build32/bin")
    echo "== the x64 build"
else
    build=$build32
    arch=win32
    settings=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake")
    echo "== the 32-bit build"
fi
# The same configuration scripts/setup.sh makes, so that both share the build directory.
cmake -S "$root" -B "$build" "${settings[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target zrlogext jobacct zrdemo
# The demo's printers live in a prefix of their own, so that the tests always start from a clean one.
export WINEPREFIX=$build/demoprefix
make_prefix "$WINEPREFIX" "$arch"

. "$root/scripts/display.sh"
start_display
start_wine
trap stop_display EXIT
run() { "$root/scripts/wine-run.sh" "$@"; }

cd "$build/bin"
run zrdemo.exe remove
run zrdemo.exe install
run zrdemo.exe show

echo
echo "The command-line host asks the module as a printer driver would:"
echo '$ jobacct read "Demo Tab Printer"'
run jobacct.exe read "Demo Tab Printer" || true
echo '$ jobacct read "Demo No Support Printer"'
run jobacct.exe read "Demo No Support Printer" || echo "(exit code $?)"

echo
echo "Why each printer does (or does not) account: printer, driver, mode, where its ID comes from, first problem."
echo "Every printer that accounts says ok; \"Demo Declined\" and \"Demo No Support\" are broken on purpose,"
echo "\"Demo Popup\" shows the popup rule of Windows 6.0 and later, and \"Demo Switchable\" waits for its mode below."
echo '$ jobacct diagnose --all'
run jobacct.exe diagnose --all || echo "(exit code $?)"
echo '$ jobacct diagnose "Demo Hide Printer"'
run jobacct.exe diagnose "Demo Hide Printer" || echo "(exit code $?)"

echo
echo "The administrator's road: \"Demo Switchable\" from No Support to Tab and back, through SetJobAccountMode"
echo "(the module, its data files and string file are in C:\\zrdemo\\kit, beside the command-line host):"
kit='C:\zrdemo\kit\jobacct.exe'
run zrdemo.exe files "Demo Switchable"
echo '$ jobacct set-mode "Demo Switchable" tab'
run "$kit" set-mode "Demo Switchable" tab || echo "(exit code $?)"
run zrdemo.exe files "Demo Switchable"
echo '$ jobacct drivers'
run "$kit" drivers | grep '^Demo Switchable' || true
echo '$ jobacct set-mode "Demo Switchable" none'
run "$kit" set-mode "Demo Switchable" none || echo "(exit code $?)"
run zrdemo.exe files "Demo Switchable"

if [ "${ZR_DEMO_POPUP:-0}" = 1 ]; then
    echo
    echo "Popup: the \"Demo Popup Allowed Printer\" driver allows dialogs; answer the popup on display $DISPLAY."
    run jobacct.exe read "Demo Popup Allowed Printer" || true
fi

echo
echo "The Job Account page of \"Demo Tab Printer\", as its property sheet shows it:"
run zrdemo.exe page "Demo Tab Printer" ../job-account-page.bmp  # the current directory is $build/bin
echo "Screenshot: $build/job-account-page.bmp"

echo
echo "The mode administration dialog, as ChangeJobAccountMode opens it:"
run zrdemo.exe modes ../mode-administration.bmp
echo "Screenshot: $build/mode-administration.bmp"
