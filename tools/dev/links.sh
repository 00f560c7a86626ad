# shellcheck shell=bash
# Sourced by root.sh and aarch64.sh.

# Makes each link in the folders $2… that names an absolute path name the same path inside root
# folder $1, relative to the link. A linker that sees such a root as its sysroot would follow an
# absolute link out of it (Debian 11's libpthread.so -> /lib/…), find it broken or find the
# host's library, and take the static archive beside it or the host's symbols. The target is not
# followed on the way, since it could be an absolute link too; inside the root the relative link
# leads where the absolute one did.
links_made_relative() {
    local root=$1 link target
    shift
    while IFS= read -r -d '' link; do
        target=$(readlink "$link")
        ln -sfn "$(realpath -m -s --relative-to="$(dirname "$link")" "$root$target")" "$link"
    done < <(find "$@" -type l -lname '/*' -print0)
}
