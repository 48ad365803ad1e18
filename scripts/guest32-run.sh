#!/bin/bash
# Runs inside the 32-bit test guest (scripts/guest32.sh), started by its init with the build directory
# shared at /share. Lays the build out at the paths ctest knows it by, on the guest's own disk (Wine
# cannot map a DLL from the shared file system), runs ctest in a fresh 32-bit prefix under Xvfb and
# leaves its output, results and exit code on the share.
set -u
share=/share
. "$share/guest/env"
export HOME=/root USER=root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

# The guest has no network; its own name must still resolve, as a PC's does, for the host address.
echo "127.0.1.1 $(hostname)" >>/etc/hosts
say() { echo "== $* ($SECONDS s into the guest's run)" >>"$share/guest/ctest.txt"; }
say "in the guest: $(uname -srm), $(nproc) processors, $(wine --version 2>/dev/null)"
# The cross-compiling emulator is named as <root>/cmake/../scripts/wine-run.sh.
mkdir -p "$zr_root/cmake" "$zr_build"
cp -a "$share/guest/scripts" "$zr_root/scripts"
(cd "$share" && find . -path ./guest -prune -o -path ./wineprefix -prune -o -path ./Testing -prune -o \
        \( -name CTestTestfile.cmake -o -name DartConfiguration.tcl \) -print |
    tar --exclude='*.dbg' -cf - -T - bin) | tar -C "$zr_build" -xf -
say "the build laid out on the guest's disk"

. "$zr_root/scripts/wine-env.sh"
. "$zr_root/scripts/display.sh"
start_display
# The prefix made when the disk was made, as it was then: this run's writes are thrown away.
if [ -f /var/lib/zrlogext/prefix32/system.reg ]; then
    mv /var/lib/zrlogext/prefix32 "$zr_build/wineprefix"
else
    make_prefix "$zr_build/wineprefix" win32
fi
export WINEPREFIX=$zr_build/wineprefix
start_wine
say "the 32-bit prefix in place and its wineserver started"

cd "$zr_build"
ctest --output-on-failure --timeout 900 "${zr_ctest_args[@]}" >>"$share/guest/ctest.txt" 2>&1
status=$?
stop_display
rm -rf "$share/Testing"
[ -d Testing ] && cp -a Testing "$share/Testing"
sync
echo $status >"$share/guest/status"
sync
