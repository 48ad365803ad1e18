# Sourced by the set-up scripts. What building and running the module and its tests needs:
zr_packages=(g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
             wine wine32:i386 wine64 xvfb xauth fonts-wine cmake googletest x11-utils msitools wixl jq)

# Installs the Debian packages among the arguments that are not
# installed yet, with apt-get (through sudo when not run as root). A package of another
# architecture ("wine32:i386") adds that architecture first.
install_missing_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
    for p in "${missing[@]}"; do
        case $p in *:*) $sudo_cmd dpkg --add-architecture "${p##*:}" ;; esac
    done
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
}
