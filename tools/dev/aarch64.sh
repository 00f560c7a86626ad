# shellcheck shell=bash
# Linux aarch64 under emulation, for ./dev test-aarch64 and ./dev wheel --arch aarch64: the cross
# compiler and qemu-user, the arm64 CPython 3.14 unpacked into a folder of its own (the sysroot),
# the Debian 11 arm64 C library with LLVM's arm64 C++ runtime unpacked into another (the wheel's
# sysroot), and qemu registered with binfmt_misc so that arm64 programs started by arm64 programs
# run too. Sourced by ./dev inside its environment; defines aarch64_tools, aarch64_sysroot_ensure,
# aarch64_wheel_sysroot_ensure and aarch64_binfmt_register.

# shellcheck source=tools/dev/links.sh
source "$(dirname "${BASH_SOURCE[0]}")/links.sh"

VANTOR_AARCH64_SYSROOT=${VANTOR_AARCH64_SYSROOT:-/var/cache/vantor-codec/arm64-sysroot}
# What the sysroot is unpacked from, with everything these depend on: the interpreter with its
# headers (the arm64 pyconfig.h), the C++ runtime of the tests and the module, pytest for the
# Python tests, and venv with its pip for installing the wheel. Changing the list makes the next
# run unpack it afresh.
AARCH64_SYSROOT_PACKAGES=(python3.14-dev python3.14-venv libstdc++6 python3-pytest)
# The aarch64 wheel's sysroot, which clang 16 of the Debian 11 root links against: Debian 11's
# arm64 C library (glibc 2.31) with GCC 10's start files and libgcc, and LLVM 16's libc++,
# libc++abi and libunwind, whose archives go into the module. CPython's headers are copied in from
# the sysroot above. The same suite as the root's clang, so that the runtime's headers and
# archives are of the compiler's own release. musl's arm64 headers and C library are for the
# wheel's musl check.
VANTOR_AARCH64_WHEEL_SYSROOT=${VANTOR_AARCH64_WHEEL_SYSROOT:-/var/cache/vantor-codec/arm64-wheel-sysroot}
AARCH64_WHEEL_SYSROOT_SUITE=bullseye
AARCH64_WHEEL_SYSROOT_PACKAGES=(libc6-dev libgcc-10-dev libc++-16-dev libc++abi-16-dev
    libunwind-16-dev musl-dev)
# Bumped when aarch64_unpack lays a folder of another suite out differently, so that the next run
# unpacks it afresh.
AARCH64_UNPACK_LAYOUT=3

aarch64_say() { printf 'dev: %s\n' "$*" >&2; }

# The cross compiler and qemu-user, installed into the Debian root on first use.
aarch64_tools() {
    local missing=()
    command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
    command -v qemu-aarch64 >/dev/null || missing+=(qemu-user)
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if [[ -z ${VANTOR_IN_ROOT:-} ]]; then
        aarch64_say "error: ./dev needs ${missing[*]} on this host"
        return 1
    fi
    aarch64_say "installing ${missing[*]} into the root (first aarch64 run only)"
    {
        apt-get -o DPkg::Lock::Timeout=600 update -qq &&
            DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
                --no-install-recommends "${missing[@]}" && apt-get clean
    } >/dev/null || {
        aarch64_say "error: installing ${missing[*]} failed"
        return 1
    }
}

# Unpacks arm64 packages into folder $1, from Debian suite $2 (the root's own sources when empty),
# unless the folder holds that list already: $3... are the packages. apt resolves their
# dependencies for arm64 with a state of its own (an empty package status, its own lists and
# download folder), so the root's own apt and dpkg never learn of arm64; dpkg -x then unpacks each
# package without installing it. `lib` links to usr/lib, where the arm64 dynamic loader is, as on
# a merged-/usr system, unless the packages have a /lib of their own (Debian 11's).
aarch64_unpack() {
    local sysroot=$1 suite=$2 wanted stamp partial state deb started=$SECONDS mirror
    shift 2
    # The stamp of the root's own suite is the package list alone, as it has always been.
    wanted=$(printf '%s\n' "$@" | sort)
    [[ -z $suite ]] || wanted="suite $suite, layout $AARCH64_UNPACK_LAYOUT"$'\n'"$wanted"
    stamp=$sysroot/.vantor-packages
    mkdir -p "$(dirname "$sysroot")"
    exec 8>"$sysroot.lock"
    flock 8
    if [[ -f $stamp && $(cat "$stamp") == "$wanted" ]]; then
        exec 8>&-
        return 0
    fi
    aarch64_say "unpacking arm64 packages ($*) into $sysroot (first aarch64 run only)"
    partial=$sysroot.partial
    state=$sysroot.apt
    rm -rf "$partial" "$state"
    mkdir -p "$partial" "$state/lists/partial" "$state/archives/partial"
    : >"$state/status"
    local apt=(apt-get -q -o APT::Architecture=arm64 -o APT::Architectures::=arm64
        -o Dir::State::Lists="$state/lists" -o Dir::State::status="$state/status"
        -o Dir::Cache="$state" -o Dir::Cache::Archives="$state/archives" -o Debug::NoLocking=1)
    if [[ -n $suite ]]; then
        # The same archive as the root's, another suite; its keys are in the root's keyring.
        mirror=$(sed -n 's/^deb \([^ ]*\) .*/\1/p' /etc/apt/sources.list | head -n 1)
        printf 'deb %s %s main\n' "$mirror" "$suite" >"$state/sources.list"
        apt+=(-o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts=/nonexistent)
    fi
    if ! { "${apt[@]}" update && "${apt[@]}" install --download-only -y --no-install-recommends \
        "$@"; } >"$state.log" 2>&1; then
        tail -n 15 "$state.log" >&2
        aarch64_say "error: downloading the arm64 packages failed (log: $state.log)"
        exec 8>&-
        return 1
    fi
    for deb in "$state"/archives/*.deb; do
        dpkg -x "$deb" "$partial" || {
            aarch64_say "error: unpacking $deb failed"
            exec 8>&-
            return 1
        }
    done
    [[ -e $partial/lib ]] || ln -s usr/lib "$partial/lib"
    links_made_relative "$partial" "$partial"
    printf '%s\n' "$wanted" >"$partial/.vantor-packages"
    rm -rf "$sysroot" "$state"
    mv "$partial" "$sysroot"
    exec 8>&-
    aarch64_say "arm64 packages unpacked in $((SECONDS - started)) s"
}

# The arm64 CPython 3.14 from the root's own suite.
aarch64_sysroot_ensure() {
    aarch64_unpack "$VANTOR_AARCH64_SYSROOT" "" "${AARCH64_SYSROOT_PACKAGES[@]}"
}

# The wheel's sysroot, with the arm64 CPython's headers (the arm64 pyconfig.h among them) copied
# in afresh, so that they follow the interpreter when its sysroot is unpacked anew.
aarch64_wheel_sysroot_ensure() {
    local sysroot=$VANTOR_AARCH64_WHEEL_SYSROOT include
    aarch64_sysroot_ensure &&
        aarch64_unpack "$sysroot" "$AARCH64_WHEEL_SYSROOT_SUITE" \
            "${AARCH64_WHEEL_SYSROOT_PACKAGES[@]}" || return 1
    for include in usr/include/python3.14 usr/include/aarch64-linux-gnu/python3.14; do
        [[ -d $VANTOR_AARCH64_SYSROOT/$include ]] || {
            aarch64_say "error: the arm64 CPython has no $include"
            return 1
        }
        rm -rf "${sysroot:?}/$include"
        cp -a "$VANTOR_AARCH64_SYSROOT/$include" "$sysroot/$include"
    done
}

# Registers qemu-aarch64 for arm64 ELF executables with a binfmt_misc instance of this user
# namespace's own (Linux 6.7 or later), so that an arm64 program the emulated interpreter starts
# (sys.executable, a venv's python) runs too, whatever environment it is given; the host's own
# binfmt settings are not touched. The handler is a script that names the sysroot, where qemu
# finds the arm64 dynamic loader and libraries. $1: a folder for that script.
aarch64_binfmt_register() {
    local dir=$1 handler=$1/qemu-aarch64-sysroot mnt=/proc/sys/fs/binfmt_misc
    mkdir -p "$dir"
    printf '#!/bin/sh\nexec qemu-aarch64 -L %q "$@"\n' "$VANTOR_AARCH64_SYSROOT" >"$handler"
    chmod 755 "$handler"
    # In the first user namespace the instance is the host's own: never register there.
    if [[ $(awk '{ print $3 }' /proc/self/uid_map) == 4294967295 ]]; then
        aarch64_say "error: not in a user namespace of its own: the host's binfmt_misc settings are left alone"
        return 1
    fi
    if [[ ! -e $mnt/register ]]; then
        mount -t binfmt_misc binfmt_misc "$mnt" 2>/dev/null || {
            aarch64_say "error: binfmt_misc cannot be mounted here (it needs a user namespace of its own and Linux 6.7 or later)"
            return 1
        }
    fi
    [[ -e $mnt/qemu-aarch64 ]] && printf -- '-1' >"$mnt/qemu-aarch64"
    # The ELF header of a 64-bit little-endian executable or shared object for machine 183
    # (EM_AARCH64); the mask leaves out the ABI version and the low bit of the type.
    local magic='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
    local mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":qemu-aarch64:M::$magic:$mask:$handler:" >"$mnt/register" || {
        aarch64_say "error: registering qemu-aarch64 with binfmt_misc failed"
        return 1
    }
}
