# shellcheck shell=bash
# The Debian unstable root filesystem that provides CPython 3.14 and the toolchain on hosts that
# lack them, and the Debian 11 (bullseye) root whose older C library and clang build the portable
# wheels. Sourced by ./dev; defines root_ensure, bullseye_root_ensure and root_run.
#
# The roots live outside the clone so that CI and later sessions reuse them. They are only ever
# entered through a private mount namespace, so nothing stays mounted once a command ends.

# shellcheck source=tools/dev/links.sh
source "$(dirname "${BASH_SOURCE[0]}")/links.sh"

VANTOR_ROOT=${VANTOR_ROOT:-/var/cache/vantor-codec/root}
VANTOR_BULLSEYE_ROOT=${VANTOR_BULLSEYE_ROOT:-/var/cache/vantor-codec/root-bullseye}
# The suite that root_create installs; bullseye_root_ensure sets its own.
ROOT_SUITE=unstable
# A command that the root must have once its packages are in.
ROOT_KEY_COMMAND=python3.14

# One list per root: changing it makes the next run install what is missing.
ROOT_PACKAGES=(
    python3.14-dev python3.14-dbg python3-pytest
    g++ cmake ninja-build libgtest-dev libbenchmark-dev libyyjson-dev
    clang lld libclang-rt-dev
    unicode-data
    python3-orjson python3-msgspec python3-matplotlib
    python3-venv python3-pip python3-build python3-scikit-build-core python3-mypy python3-wheel
    clang-format shellcheck git ca-certificates
    libsimdjson-dev valgrind strace python3-auditwheel
    g++-mingw-w64-ucrt64
)
# The portable wheels' build root: glibc 2.31, and libc++ 16, whose static libraries (unlike
# GCC's libstdc++ and libgcc) need nothing newer from glibc than the module. The unstable root's
# GCC compiles the x86-64 wheel against it (tools/dev/wheel-cxx); its clang 16 cross-compiles the
# aarch64 wheel, which lld links against the arm64 sysroot of tools/dev/aarch64.sh. musl's headers
# and C library are what the wheels' musl check compiles and looks calls up against.
BULLSEYE_ROOT_PACKAGES=(clang-16 libc++-16-dev libc++abi-16-dev lld-16 musl-dev)

root_log() { printf 'dev: %s\n' "$*" >&2; }
root_die() {
    printf 'dev: error: %s\n' "$*" >&2
    exit 1
}

# The archive's address comes from the host's own apt configuration: the first source whose
# path ends in /debian (which leaves out debian-security and snapshot addresses).
root_mirror() {
    if [[ -n ${VANTOR_MIRROR:-} ]]; then
        printf '%s\n' "$VANTOR_MIRROR"
        return
    fi
    local files=() f
    [[ -f /etc/apt/sources.list ]] && files+=(/etc/apt/sources.list)
    for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] && files+=("$f")
    done
    local uri
    for f in "${files[@]}"; do
        if [[ $f == *.sources ]]; then
            # deb822: "URIs:" may list several addresses; stanzas may be switched off.
            awk 'function flush() { if (!off) for (i = 0; i < n; i++) print u[i]; off = 0; n = 0 }
                 /^[[:space:]]*$/ { flush(); next }
                 tolower($1) == "enabled:" && tolower($2) == "no" { off = 1 }
                 tolower($1) == "uris:" { for (i = 2; i <= NF; i++) u[n++] = $i }
                 END { flush() }' "$f"
        else
            sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" { print $2 }'
        fi
    done | while read -r uri; do
        uri=${uri%/}
        if [[ $uri =~ ^https?://[^/]+(/.*)?/debian$ ]]; then
            printf '%s\n' "$uri"
            break
        fi
    done
}

# A plain TCP connection to the archive's host tells "no network" apart from a failing install.
root_check_network() {
    local mirror=$1 hostport host port
    [[ -n ${http_proxy:-}${https_proxy:-} ]] && return 0
    hostport=${mirror#*://}
    hostport=${hostport%%/*}
    host=${hostport%:*}
    port=${hostport##*:}
    if [[ $host == "$port" ]]; then
        [[ $mirror == https* ]] && port=443 || port=80
    fi
    timeout 20 bash -c ": <>/dev/tcp/$host/$port" 2>/dev/null ||
        root_die "no network to the Debian archive at $mirror"
}

root_ensure_debootstrap() {
    command -v debootstrap >/dev/null && return 0
    command -v apt-get >/dev/null ||
        root_die "debootstrap is missing and there is no apt-get to install it"
    root_log "installing debootstrap on the host"
    {
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    } >>"$VANTOR_ROOT.log" 2>&1 ||
        root_die "could not install debootstrap on the host (log: $VANTOR_ROOT.log)"
}

root_create() {
    local mirror partial log started
    mirror=$(root_mirror)
    [[ -n $mirror ]] ||
        root_die "no Debian archive in /etc/apt/sources.list{,.d}; set VANTOR_MIRROR"
    root_ensure_debootstrap
    root_check_network "$mirror"
    partial="$VANTOR_ROOT.partial"
    log="$VANTOR_ROOT.log"
    rm -rf "$partial"
    started=$SECONDS
    root_log "creating the Debian $ROOT_SUITE root in $VANTOR_ROOT from $mirror (first run only, a few minutes)"
    # debootstrap mounts /proc and /sys inside the target: a private namespace drops them even
    # when it dies halfway.
    if ! unshare --mount --fork -- debootstrap --variant=minbase "$ROOT_SUITE" "$partial" "$mirror" \
        >"$log" 2>&1; then
        tail -n 15 "$log" >&2
        root_die "debootstrap failed (full log: $log)"
    fi
    # No daemon may start inside the root when packages are installed.
    printf '#!/bin/sh\nexit 101\n' >"$partial/usr/sbin/policy-rc.d"
    chmod 755 "$partial/usr/sbin/policy-rc.d"
    mv "$partial" "$VANTOR_ROOT"
    root_log "root created in $((SECONDS - started)) s"
}

root_install_packages() {
    local log="$VANTOR_ROOT.log" started=$SECONDS
    root_log "installing ${#ROOT_PACKAGES[@]} packages into the root (several minutes the first time)"
    if ! root_run_raw /bin/sh -c \
        'apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@" && apt-get clean' \
        sh "${ROOT_PACKAGES[@]}" >>"$log" 2>&1; then
        tail -n 15 "$log" >&2
        root_die "installing packages into the root failed (full log: $log)"
    fi
    root_run_raw /bin/sh -c "command -v $ROOT_KEY_COMMAND >/dev/null" ||
        root_die "$ROOT_KEY_COMMAND is missing inside the root after installing packages"
    root_log "packages installed in $((SECONDS - started)) s"
}

# Creates the root or installs what the list gained since last time. The lock keeps two runs
# (two terminals, or a terminal and CI) from building it at once.
root_ensure() {
    [[ $(id -u) -eq 0 ]] ||
        root_die "not root: the Debian root needs root (or install python3.14 with its headers)"
    if ! command -v unshare >/dev/null || ! command -v chroot >/dev/null; then
        root_die "unshare and chroot are needed to enter the Debian root"
    fi
    mkdir -p "$(dirname "$VANTOR_ROOT")"
    local stamp="$VANTOR_ROOT/var/lib/vantor-codec-packages" wanted
    wanted=$(printf '%s\n' "${ROOT_PACKAGES[@]}" | sort)
    exec 9>"$VANTOR_ROOT.lock"
    flock 9
    [[ -d $VANTOR_ROOT/usr ]] || root_create
    # The host's resolver, so apt inside the root reaches the archive.
    cp -L /etc/resolv.conf "$VANTOR_ROOT/etc/resolv.conf" 2>/dev/null || true
    # Mirrors that serve a frozen copy of unstable carry a Release file past its Valid-Until
    # date; signatures are still checked.
    printf 'Acquire::Check-Valid-Until "false";\n' >"$VANTOR_ROOT/etc/apt/apt.conf.d/99vantor-codec"
    if [[ ! -f $stamp || $(cat "$stamp") != "$wanted" ]]; then
        root_check_network "$(sed -n 's/^deb \([^ ]*\) .*/\1/p' "$VANTOR_ROOT/etc/apt/sources.list" |
            head -n 1)"
        root_install_packages
        printf '%s\n' "$wanted" >"$stamp"
    fi
    exec 9>&-
}

# The same for the bullseye root that builds the portable wheels.
bullseye_root_ensure() {
    # shellcheck disable=SC2030
    (
        VANTOR_ROOT=$VANTOR_BULLSEYE_ROOT
        ROOT_SUITE=bullseye
        ROOT_KEY_COMMAND=clang++-16
        ROOT_PACKAGES=("${BULLSEYE_ROOT_PACKAGES[@]}")
        root_ensure
        # The x86-64 wheel's compiler runs outside this root and links with it as its sysroot.
        links_made_relative "$VANTOR_ROOT" "$VANTOR_ROOT/usr/lib/x86_64-linux-gnu" \
            "$VANTOR_ROOT/usr/lib64"
    )
}

# The script that mounts what a command needs inside the root and enters it.
ROOT_ENTER_SCRIPT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)/enter_root.sh

# Runs a command inside the root with the clone's parent folder at the same path, so that
# ../shared resolves the same inside and out; with ROOT_NESTED set, that root is mounted inside
# as well (./dev wheel).
root_run_raw() {
    # With ROOT_USER_NAMESPACE set, the command gets a user namespace of its own, with root
    # mapped to root (and the PID namespace its /proc needs): ./dev test-aarch64 mounts its own
    # binfmt_misc there, which the kernel allows in a new user namespace only, and never inside a
    # chroot.
    local namespaces=(--mount)
    [[ -n ${ROOT_USER_NAMESPACE:-} ]] && namespaces=(--user --map-root-user --pid --mount)
    # shellcheck disable=SC2031 # bullseye_root_ensure changes VANTOR_ROOT in its subshell only
    unshare "${namespaces[@]}" --fork -- /bin/bash "$ROOT_ENTER_SCRIPT" "$VANTOR_ROOT" \
        "${VANTOR_PARENT:-}" "${ROOT_NESTED:-}" "${ROOT_NESTED_SHARED:-}" "$@"
}

# Same as root_run_raw, with a clean environment that keeps only the project's own settings.
root_run() {
    local keep=() name
    for name in $(compgen -e); do
        [[ $name =~ ^(VANTOR_[A-Z0-9_]+|CI|TERM|CMAKE_[A-Z_]+|CTEST_[A-Z_]+|PYTEST_ADDOPTS|ASAN_OPTIONS|UBSAN_OPTIONS|TSAN_OPTIONS)$ ]] &&
            keep+=("$name=${!name}")
    done
    root_run_raw /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        "${keep[@]}" "$@"
}
