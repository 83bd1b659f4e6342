#!/usr/bin/env bash
# CI for the other platforms: 32-bit x86 Linux, and Windows under Wine: the
# 32-bit lumdec01.dll, and a 64-bit build for the threaded tests (Wine's
# 32-bit side is not trusted with threads when it runs under qemu).
#
# Needs the native build in build/ with its tests run: its library_host wrote
# build/stream_hashes.txt, and every build here must decode every test stream
# to the same bytes.  Runs as root (packages, binfmt_misc).
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '\n=== %s (%ss) ===\n' "$*" "$SECONDS"; }

hashes=$PWD/build/stream_hashes.txt
[ -s "$hashes" ] || { echo "no $hashes: run the native build and its tests first"; exit 1; }

export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

step "packages"
$SUDO apt-get install -y --no-install-recommends \
    g++-multilib qemu-user-static g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix

# wine32 comes from the i386 architecture.  Its multi-arch libraries must have
# the same version on amd64 and i386; when the mirror serves no usable i386
# security lists (apt-get update then fails), the install only resolves with
# the security suite left out.
wine_packages="wine wine32:i386 wine32-preloader:i386 wine64 wine64-preloader"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    $SUDO apt-get update || echo "apt-get update failed; trying with the package lists at hand"
fi
# shellcheck disable=SC2086
if ! $SUDO apt-get install -y --no-install-recommends $wine_packages; then
    sources=$(mktemp -d)
    awk 'BEGIN { RS = ""; ORS = "\n\n" } !/debian-security/' \
        /etc/apt/sources.list.d/debian.sources > "$sources/debian.sources"
    $SUDO apt-get install -y --no-install-recommends \
        -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$sources" $wine_packages
fi

step "32-bit x86 programs"
# Some kernels here cannot run 32-bit x86 programs ("Exec format error"); then
# qemu runs them, registered with binfmt_misc so that Wine's own 32-bit
# processes go through it too.
probe=$(mktemp -d)
printf 'int main(void) { return 0; }\n' > "$probe/probe.c"
gcc -m32 -static "$probe/probe.c" -o "$probe/probe"
if "$probe/probe" 2>/dev/null; then
    echo "the kernel runs them"
else
    echo "the kernel cannot run them: registering qemu-i386 with binfmt_misc"
    mountpoint -q /proc/sys/fs/binfmt_misc ||
        $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] ||
        echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
        $SUDO tee /proc/sys/fs/binfmt_misc/register > /dev/null
    "$probe/probe"
fi

for preset in i386-linux mingw-i686 mingw-x86_64; do
    step "build $preset"
    cmake --preset "$preset" -DLUMDEC_WERROR=ON -DLUMDEC_EXPECTED_HASHES="$hashes"
    cmake --build "build-$preset" -j2
done

step "i386 Linux: the whole suite"
timeout -k 10 900 ctest --test-dir build-i386-linux --output-on-failure --timeout 300 -j2

# Wine runs with a prefix of its own; everything it leaves running is ended
# by process id at the end, found by that prefix in its environment.
prefix=$PWD/build-wine/prefix
mkdir -p "$(dirname "$prefix")"
wine_env=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
wine_cleanup() {
    "${wine_env[@]}" wineserver -k 2> /dev/null || true
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        [ "$pid" != $$ ] || continue
        if grep -qxzF "WINEPREFIX=$prefix" "$environ" 2> /dev/null; then
            kill -9 "$pid" 2> /dev/null || true
        fi
    done
}
trap wine_cleanup EXIT

step "Wine prefix"
"${wine_env[@]}" wineserver -k 2> /dev/null || true
[ -d "$prefix" ] || timeout -k 10 300 "${wine_env[@]}" wineboot --init
timeout -k 10 120 "${wine_env[@]}" wineserver -w
"${wine_env[@]}" wineserver -p
timeout -k 10 120 "${wine_env[@]}" wine cmd /c exit

step "32-bit Windows DLL: single-threaded tests under wine32"
timeout -k 10 900 "${wine_env[@]}" ctest --test-dir build-mingw-i686 --output-on-failure --timeout 300

step "64-bit Windows: every test, threads included, under wine64"
timeout -k 10 900 "${wine_env[@]}" ctest --test-dir build-mingw-x86_64 --output-on-failure --timeout 300

step "other platforms passed"
