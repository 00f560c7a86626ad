#!/usr/bin/env bash
# Enters a Debian root (tools/dev/root.sh, root_run_raw): run by unshare in a mount namespace of
# its own, it mounts what the command needs inside the root and replaces itself with the command
# run there by chroot.
#   enter_root.sh ROOT PARENT NESTED SHARED COMMAND...
# ROOT is the root's folder; PARENT the clone's parent folder, mounted at the same path inside (or
# empty); NESTED a second root mounted at /opt/vantor-wheel-root inside the first, with the same
# parent folder (or empty); SHARED a folder of the first root that the nested one sees as well.
set -e
root=$1 parent=$2 nested=$3 shared=$4
shift 4
mount --make-rprivate /
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t sysfs -o ro sysfs "$root/sys" 2>/dev/null || true
mount -t tmpfs tmpfs "$root/tmp"
if [[ -n $parent ]]; then
    mkdir -p "$root$parent"
    mount --bind "$parent" "$root$parent"
fi
# The wheel root, at /opt/vantor-wheel-root, sees the same parent folder, the CPython
# headers of the unstable root and the modules of CMake (whose sources CMake compiles with
# the wheel compiler to learn its ABI) at the same paths.
if [[ -n $nested ]]; then
    inner=$root/opt/vantor-wheel-root
    mkdir -p "$inner"
    mount --bind "$nested" "$inner"
    mount -t proc proc "$inner/proc"
    mount --rbind /dev "$inner/dev"
    mount -t tmpfs tmpfs "$inner/tmp"
    mkdir -p "$inner$parent"
    mount --bind "$parent" "$inner$parent"
    for include in "$root"/usr/include/python3.14 "$root"/usr/include/*/python3.14 \
        "$root"/usr/share/cmake-*; do
        [[ -d $include ]] || continue
        mkdir -p "$inner${include#"$root"}"
        mount --bind "$include" "$inner${include#"$root"}"
    done
    # And a folder of the unstable root it needs besides (ROOT_NESTED_SHARED).
    if [[ -n $shared ]]; then
        mkdir -p "$inner$shared"
        mount --bind "$root$shared" "$inner$shared"
    fi
fi
exec chroot "$root" "$@"
