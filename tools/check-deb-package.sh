#!/bin/bash
# Builds the Debian package and installs it with apt-get into a freshly bootstrapped Debian
# bookworm root that has none of the build dependencies, then checks that the installed
# program answers --version there. Slow (a few minutes: it downloads a minimal Debian and the
# program's runtime packages), so it is run once by CI rather than by ctest.
#
# Usage: tools/check-deb-package.sh [BUILD_DIR]
#   BUILD_DIR  a configured and built folder to package; without it an optimised build is made in
#              a temporary folder.
# Needs root (debootstrap, chroot, mounting /proc) and the Debian mirror.
# Environment:
#   LUMISIGHT_DEBIAN_MIRROR  the mirror to bootstrap from (default: this machine's bookworm
#                            mirror from /etc/apt/sources.list*)
#   LUMISIGHT_KEEP_ROOT=1    keep the work folder with the bootstrapped root for inspection
set -euo pipefail

readonly SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly SUITE=bookworm
WORK_DIR=""
ROOT=""

log() { printf '[check-deb-package] %s\n' "$*" >&2; }
fail() { log "FAILED: $*"; exit 1; }

cleanup() {
    if [[ -n "$ROOT" ]] && mountpoint -q "$ROOT/proc"; then
        umount "$ROOT/proc" || log "could not unmount $ROOT/proc"
    fi
    if [[ -n "$WORK_DIR" && "${LUMISIGHT_KEEP_ROOT:-0}" != 1 ]]; then
        rm -rf --one-file-system "$WORK_DIR"
    elif [[ -n "$WORK_DIR" ]]; then
        log "kept $WORK_DIR"
    fi
}

require_tools() {
    [[ $(id -u) -eq 0 ]] || fail "must run as root (debootstrap and chroot)"
    local tool
    for tool in cmake cpack debootstrap dpkg-deb chroot mountpoint; do
        command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install debootstrap cmake)"
    done
}

# The first mirror this machine uses for the suite, from one-line or deb822 source lists.
find_mirror() {
    if [[ -n "${LUMISIGHT_DEBIAN_MIRROR:-}" ]]; then
        echo "$LUMISIGHT_DEBIAN_MIRROR"
        return
    fi
    local mirror
    mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk -v suite="$SUITE" '$1 == "deb" { for (i = 2; i <= NF; ++i) if ($i ~ /^[a-z]+:\/\//) {
            if ($(i + 1) == suite) { print $i; exit } } }')
    if [[ -z "$mirror" ]]; then
        mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v suite="$SUITE" '
            function flush() { if (!found && debs && uris != "" && (" " suites " ") ~ (" " suite " ")) {
                split(uris, u, " "); print u[1]; found = 1; exit } uris = ""; suites = ""; debs = 0 }
            /^[ \t]*$/ { flush(); next }
            /^Types:/ { debs = ($0 ~ /[ \t]deb([ \t]|$)/) }
            /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
            /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
            END { flush() }')
    fi
    [[ -n "$mirror" ]] || fail "no $SUITE mirror in /etc/apt/sources.list*; set LUMISIGHT_DEBIAN_MIRROR"
    echo "$mirror"
}

build_dir_or_fresh_build() {
    if [[ -n "${1:-}" ]]; then
        [[ -f "$1/CPackConfig.cmake" ]] || fail "$1 is not a configured build folder"
        cmake --build "$1" --target lumisight-webcam >&2
        echo "$1"
        return
    fi
    local build="$WORK_DIR/build"
    log "building in $build (optimised with debugging information; cpack strips it)"
    cmake -S "$SOURCE_DIR" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLUMISIGHT_BUILD_TESTS=OFF -DLUMISIGHT_BUILD_BENCH=OFF >&2
    cmake --build "$build" -j"$(nproc)" >&2
    echo "$build"
}

make_package() {
    local build=$1
    (cd "$build" && cpack -G DEB -B "$WORK_DIR/package") >&2
    local debs=("$WORK_DIR"/package/*.deb)
    [[ -f "${debs[0]}" ]] || fail "cpack made no .deb"
    echo "${debs[0]}"
}

bootstrap_root() {
    local mirror=$1
    ROOT="$WORK_DIR/root"
    log "bootstrapping a minimal Debian $SUITE from $mirror"
    debootstrap --variant=minbase "$SUITE" "$ROOT" "$mirror" >"$WORK_DIR/debootstrap.log" 2>&1 ||
        { tail -20 "$WORK_DIR/debootstrap.log" >&2; fail "debootstrap"; }
    cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
    # Package scripts must not start services in the folder.
    printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d"
    chmod +x "$ROOT/usr/sbin/policy-rc.d"
    mount -t proc proc "$ROOT/proc"
}

in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

expect_no_build_dependencies() {
    local package
    for package in qt6-base-dev libfreeimage-dev libyuv-dev cmake g++; do
        if in_root dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok"; then
            fail "the fresh root already has the build dependency $package"
        fi
    done
}

install_package() {
    local deb=$1
    cp "$deb" "$ROOT/tmp/"
    log "installing $(basename "$deb") with apt-get"
    in_root apt-get update -q >&2
    # Without recommends, so the package's own dependencies must be enough.
    in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "/tmp/$(basename "$deb")" >&2
}

check_installed_program() {
    local version=$1 vendor=$2 output
    if in_root ldd /usr/bin/lumisight-webcam | grep "not found"; then
        fail "libraries missing for the installed program"
    fi
    for file in /usr/share/applications/io.lumisight.Webcam.desktop \
        /usr/share/metainfo/io.lumisight.Webcam.metainfo.xml \
        /usr/share/icons/hicolor/48x48/apps/lumisight-webcam.png \
        /usr/share/man/man1/lumisight-webcam.1; do
        [[ -f "$ROOT$file" ]] || fail "$file is not installed"
    done
    output=$(in_root lumisight-webcam --version) || fail "lumisight-webcam --version exited with $?"
    log "lumisight-webcam --version says: $output"
    grep -qF "$version" <<<"$output" || fail "--version does not name version $version"
    grep -qiF "$vendor" <<<"$output" || fail "--version does not name vendor identifier $vendor"
}

# The window with the emulated camera must come up and stay up: that needs every runtime
# library and plugin the package pulled in, not only the ones --version touches.
check_program_keeps_running() {
    mkdir -p "$ROOT/tmp/home"
    local status=0
    timeout 8 chroot "$ROOT" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp/home LANG=C.UTF-8 \
        QT_QPA_PLATFORM=offscreen lumisight-webcam --virtual-camera --pictures /tmp/home/pictures \
        >"$WORK_DIR/run.log" 2>&1 || status=$?
    [[ $status -eq 124 ]] || { cat "$WORK_DIR/run.log" >&2; fail "the window ended with status $status"; }
    log "the window ran for 8 s with the emulated camera"
}

main() {
    require_tools
    local started=$SECONDS mirror build deb version vendor
    mirror=$(find_mirror)
    WORK_DIR=$(mktemp -d /var/tmp/lumisight-deb-check.XXXXXX)
    trap cleanup EXIT
    build=$(build_dir_or_fresh_build "${1:-}")
    deb=$(make_package "$build")
    version=$(dpkg-deb -f "$deb" Version)
    vendor=$(sed -n 's/^LUMISIGHT_VENDOR_ID:STRING=//p' "$build/CMakeCache.txt")
    log "package $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
    bootstrap_root "$mirror"
    expect_no_build_dependencies
    install_package "$deb"
    check_installed_program "$version" "$vendor"
    check_program_keeps_running
    log "passed in $((SECONDS - started)) s"
}

main "$@"
