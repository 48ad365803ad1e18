# Sourced by test.sh: runs the 32-bit build's tests in a small Debian virtual machine, for machines
# whose processor mode cannot start 32-bit programs at all (32-bit Wine fails there with "Exec format
# error", and user-mode emulation cannot host Wine's loader). qemu emulates the whole machine in
# software, which a 32-bit Wine runs in as on real hardware.
#
# The guest's disk is made once per machine from Debian's packages (debootstrap, then Wine and Xvfb
# into it) and kept in ZR_GUEST_CACHE; a run boots it with its writes thrown away afterwards, shares
# the build directory with it, and gets ctest's output, results and exit code back through that share.

. "$(dirname "${BASH_SOURCE[0]}")/packages.sh"

guest_cache=${ZR_GUEST_CACHE:-/var/cache/zrlogext/guest32}
# What the guest holds; a change here makes the next run build the disk again.
guest_packages=(wine wine32:i386 xvfb xauth x11-utils fonts-wine cmake)

guest_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The Debian mirror and release this machine's own apt sources use: the guest is made from the same.
guest_mirror() {
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' 2>/dev/null |
        awk -v release="$codename" '$2 == release && $3 == "main" { print $1; exit }'
}

# The guest's init: mounts what Wine and the share need, runs the run's script from the share, and
# powers off. A run's script is on the share, so changing it needs no new disk.
guest_init_script() {
    cat <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
hostname zrguest32
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /share
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /share; then
    /bin/bash /share/guest/run.sh >/share/guest/guest.log 2>&1
fi
sync
echo o >/proc/sysrq-trigger
sleep 60
INIT
}

# Run in the guest once, when its disk is made: the 32-bit prefix every run starts from, made as the
# tests' prefixes are (make_prefix) and kept on the disk, whose writes a run throws away.
guest_prefix_script() {
    cat <<'PREFIX'
#!/bin/bash
export HOME=/root USER=root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
. /share/guest/scripts/wine-env.sh
rm -rf /var/lib/zrlogext/prefix32
mkdir -p /var/lib/zrlogext
make_prefix /var/lib/zrlogext/prefix32 win32 && [ -f /var/lib/zrlogext/prefix32/system.reg ]
echo $? >/share/guest/status
sync
PREFIX
}

guest_recipe=$(guest_init_script | md5sum | cut -c1-12)" ${guest_packages[*]}"
guest_prefix_recipe=$({ guest_prefix_script; . "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"; declare -f make_prefix; } |
    md5sum | cut -c1-12)

# Boots the guest with <folder> shared as /share, where its init runs guest/run.sh: guest_boot <folder>
# <log folder> [qemu arguments]. Returns when the guest has powered off.
guest_boot() {
    local share=$1 logs=$2
    shift 2
    timeout "${ZR_GUEST_TIMEOUT:-3600}" qemu-system-x86_64 -machine q35 -cpu qemu64,+ssse3,+sse4.1,+sse4.2 \
        -accel tcg,thread=multi -smp "$(nproc)" -m 3072 \
        -kernel "$guest_cache/vmlinuz" -initrd "$guest_cache/initrd.img" \
        -drive file="$guest_cache/root.img",format=raw,if=virtio "$@" \
        -append "root=/dev/vda rw console=ttyS0 init=/zr-init quiet panic=-1" \
        -virtfs local,path="$share",mount_tag=share,security_model=none \
        -nic none -display none -monitor none -serial file:"$logs/console.txt" -no-reboot
}

guest_disk_ready() {
    [ -f "$guest_cache/root.img" ] && [ -f "$guest_cache/vmlinuz" ] && [ -f "$guest_cache/initrd.img" ] &&
        [ "$(cat "$guest_cache/recipe" 2>/dev/null)" = "$guest_recipe" ]
}

# Makes the guest's disk, kernel and initial RAM disk once (about seven minutes), and its prefix.
guest_make_disk() {
    guest_disk_ready || guest_make_system || return 1
    [ "$(cat "$guest_cache/prefix-recipe" 2>/dev/null)" = "$guest_prefix_recipe" ] || guest_make_prefix
}

# The 32-bit prefix is made by the guest itself (this machine cannot start 32-bit Wine), in a boot
# whose writes stay on the disk; no other guest may run from the disk meanwhile.
guest_make_prefix() {
    local prepare started=$SECONDS
    echo "== making the 32-bit test guest's Wine prefix (once per machine)"
    guest_sudo rm -f "$guest_cache/prefix-recipe"
    prepare=$(mktemp -d)
    mkdir -p "$prepare/guest"
    cp -a "$(dirname "${BASH_SOURCE[0]}")" "$prepare/guest/scripts"
    guest_prefix_script >"$prepare/guest/run.sh"
    guest_boot "$prepare" "$prepare/guest"
    if [ "$(cat "$prepare/guest/status" 2>/dev/null)" != 0 ]; then
        echo "== the 32-bit test guest could not make its Wine prefix:" >&2
        tail -20 "$prepare/guest/guest.log" "$prepare/guest/console.txt" >&2 2>/dev/null
        rm -rf "$prepare"
        return 1
    fi
    rm -rf "$prepare"
    echo "$guest_prefix_recipe" | guest_sudo tee "$guest_cache/prefix-recipe" >/dev/null
    echo "== the guest's Wine prefix made in $((SECONDS - started)) s"
}

# Debian's minimal system with a kernel, Wine and Xvfb, written into an ext4 image.
guest_make_system() {
    install_missing_packages debootstrap qemu-system-x86 e2fsprogs
    local mirror codename rootfs started=$SECONDS
    mirror=$(guest_mirror)
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -z "$mirror" ] || [ -z "$codename" ]; then
        echo "== cannot make the 32-bit guest: no Debian release found among this machine's apt sources" >&2
        return 1
    fi
    echo "== making the 32-bit test guest in $guest_cache from $mirror $codename (once per machine)"
    guest_sudo mkdir -p "$guest_cache"
    rootfs=$guest_cache/rootfs
    guest_sudo rm -rf "$rootfs" "$guest_cache/root.img" "$guest_cache/recipe" "$guest_cache/prefix-recipe"
    guest_sudo debootstrap --variant=minbase --arch=amd64 \
        --include=linux-image-amd64,kmod,udev,initramfs-tools "$codename" "$rootfs" "$mirror" \
        >"$guest_cache/debootstrap.log" 2>&1 || { tail -20 "$guest_cache/debootstrap.log" >&2; return 1; }
    guest_sudo cp /etc/resolv.conf "$rootfs/etc/resolv.conf"
    printf '#!/bin/sh\nexit 101\n' | guest_sudo tee "$rootfs/usr/sbin/policy-rc.d" >/dev/null
    guest_sudo chmod 755 "$rootfs/usr/sbin/policy-rc.d"
    guest_sudo mount -t proc proc "$rootfs/proc"
    local status=0
    guest_sudo chroot "$rootfs" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ${guest_packages[*]} &&
        apt-get clean" >"$guest_cache/packages.log" 2>&1 || status=$?
    guest_sudo umount "$rootfs/proc"
    if [ $status -ne 0 ]; then tail -20 "$guest_cache/packages.log" >&2; return 1; fi
    guest_sudo rm -f "$rootfs/usr/sbin/policy-rc.d"
    guest_init_script | guest_sudo tee "$rootfs/zr-init" >/dev/null
    guest_sudo chmod 755 "$rootfs/zr-init"
    guest_sudo cp "$(ls "$rootfs"/boot/vmlinuz-* | tail -1)" "$guest_cache/vmlinuz"
    guest_sudo cp "$(ls "$rootfs"/boot/initrd.img-* | tail -1)" "$guest_cache/initrd.img"
    guest_sudo truncate -s 6G "$guest_cache/root.img"
    guest_sudo mkfs.ext4 -q -F -L zrguest -d "$rootfs" "$guest_cache/root.img" || return 1
    guest_sudo rm -rf "$rootfs" "$guest_cache/prefix-recipe"
    echo "$guest_recipe" | guest_sudo tee "$guest_cache/recipe" >/dev/null
    echo "== 32-bit test guest made in $((SECONDS - started)) s"
}

# Runs ctest for a 32-bit build directory inside the guest: guest_run_ctest <build dir> [ctest arguments].
# ctest's output appears here as it runs; the result is ctest's exit code (or 1 when the guest fails).
guest_run_ctest() {
    local dir=$1 root
    shift
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    local run=$dir/guest
    rm -rf "$run"
    mkdir -p "$run"
    cp -a "$root/scripts" "$run/scripts"
    {
        printf 'zr_root=%q\nzr_build=%q\nzr_ctest_args=(' "$root" "$dir"
        [ $# -gt 0 ] && printf '%q ' "$@"
        printf ')\n'
        # The tests' own settings (ZR_LOAD_CYCLES and the like) and GoogleTest's go along.
        local name
        for name in $(compgen -e | grep -E '^(ZR_|GTEST_)'); do
            printf 'export %s=%q\n' "$name" "${!name}"
        done
    } >"$run/env"
    cp "$root/scripts/guest32-run.sh" "$run/run.sh"
    : >"$run/ctest.txt"

    local started=$SECONDS status
    guest_boot "$dir" "$run" -snapshot &
    local qemu=$!
    tail -n +1 -f --pid=$qemu "$run/ctest.txt"
    wait $qemu
    status=$(cat "$run/status" 2>/dev/null || echo 1)
    if [ ! -f "$run/status" ]; then
        echo "== the 32-bit guest ended without a result; its log and console:"
        tail -30 "$run/guest.log" "$run/console.txt" 2>/dev/null
    fi
    echo "== 32-bit tests ran in the guest for $((SECONDS - started)) s (ctest exit code $status)"
    return "$status"
}
