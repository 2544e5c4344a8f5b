# Shared by scripts/package-check and scripts/fresh-check (sourced, not run):
# a fresh Debian 12 minbase root made from a cached pristine copy, with /proc,
# /sys and /dev mounted while it is in use, timed steps, and a clean-up that
# runs on every way out.
#
# The cache lives in CHROOT_CACHE (default /var/cache/leverans-chroot): the
# packages debootstrap downloaded, and a tar of the finished root. Delete the
# folder, or set CHROOT_REFRESH=1, to start from the mirror again.

CHROOT_CACHE=${CHROOT_CACHE:-/var/cache/leverans-chroot}
CHROOT_MIRROR=${CHROOT_MIRROR:-http://deb.debian.org/debian}
CHROOT_SUITE=bookworm
CHROOT_DIR=
CHROOT_WORK=
CHROOT_MOUNTS=()
CHROOT_KEEP=${CHROOT_KEEP:-0}
# The script's own output, for messages of the clean-up, which may run while
# a step's output goes to its log.
exec {CHROOT_STDOUT}>&1 {CHROOT_STDERR}>&2

log() { printf '%s: %s\n' "$CHROOT_PROG" "$*"; }
die() {
    printf '%s: error: %s\n' "$CHROOT_PROG" "$*" >&2
    exit 1
}

chroot_require_root() {
    [[ $(id -u) -eq 0 ]] || die "must run as root (chroot, mount); try: sudo $0"
    command -v debootstrap >/dev/null ||
        die "debootstrap is missing; install it with: apt-get install debootstrap"
}

# Builds the pristine root once: downloads (kept as a tarball) and then the
# unpacked, configured system (kept as a tar of the whole tree).
chroot_pristine() {
    local arch downloads pristine work
    arch=$(dpkg --print-architecture)
    downloads=$CHROOT_CACHE/$CHROOT_SUITE-minbase-$arch-debs.tgz
    pristine=$CHROOT_CACHE/$CHROOT_SUITE-minbase-$arch-root.tar
    CHROOT_PRISTINE=$pristine
    if [[ ${CHROOT_REFRESH:-0} == 1 ]]; then
        rm -f "$downloads" "$pristine"
    fi
    [[ -s $pristine ]] && return 0
    mkdir -p "$CHROOT_CACHE"
    if [[ ! -s $downloads ]]; then
        log "downloading a $CHROOT_SUITE minbase system from $CHROOT_MIRROR"
        CHROOT_WORK=$(mktemp -d "$CHROOT_CACHE/download.XXXXXX")
        rm -f "$downloads.part"
        debootstrap --variant=minbase --make-tarball="$downloads.part" \
            "$CHROOT_SUITE" "$CHROOT_WORK" "$CHROOT_MIRROR" >"$CHROOT_CACHE/debootstrap.log" 2>&1 ||
            die "debootstrap could not download the system (see $CHROOT_CACHE/debootstrap.log)"
        chroot_discard_work
        mv "$downloads.part" "$downloads"
    fi
    log "unpacking the $CHROOT_SUITE minbase system (once; kept in $pristine)"
    CHROOT_WORK=$(mktemp -d "$CHROOT_CACHE/root.XXXXXX")
    work=$CHROOT_WORK
    debootstrap --variant=minbase --unpack-tarball="$downloads" \
        "$CHROOT_SUITE" "$work" "$CHROOT_MIRROR" >>"$CHROOT_CACHE/debootstrap.log" 2>&1 ||
        die "debootstrap failed (see $CHROOT_CACHE/debootstrap.log)"
    # What a fresh Debian 12 installation has: point release and security
    # updates too, and no services started inside a chroot.
    cat >"$work/etc/apt/sources.list" <<SOURCES
deb $CHROOT_MIRROR $CHROOT_SUITE main
deb $CHROOT_MIRROR $CHROOT_SUITE-updates main
deb ${CHROOT_MIRROR%/debian}/debian-security $CHROOT_SUITE-security main
SOURCES
    # apt downloads as _apt, as on an installed system.
    chroot "$work" chown _apt:root /var/cache/apt/archives/partial /var/lib/apt/lists/partial
    printf '#!/bin/sh\nexit 101\n' >"$work/usr/sbin/policy-rc.d"
    chmod 755 "$work/usr/sbin/policy-rc.d"
    chroot_umount_all "$work"
    chmod 755 "$work"
    tar -C "$work" --numeric-owner -cf "$pristine.part" . ||
        die "cannot write $pristine.part"
    mv "$pristine.part" "$pristine"
    chroot_discard_work
}

# Removes a half-made root of chroot_pristine, never through a mount.
chroot_discard_work() {
    [[ -n $CHROOT_WORK && -d $CHROOT_WORK ]] || return 0
    chroot_umount_all "$CHROOT_WORK"
    if grep -q " $CHROOT_WORK/" /proc/self/mounts; then
        printf '%s: mounts remain under %s; left in place\n' "$CHROOT_PROG" "$CHROOT_WORK" >&2
    else
        rm -rf --one-file-system "$CHROOT_WORK"
    fi
    CHROOT_WORK=
}

# Unmounts whatever is still mounted below a folder, deepest first. debootstrap
# may leave its own mounts behind when it fails.
chroot_umount_all() {
    local dir=$1 m
    [[ -n $dir ]] || return 0
    while read -r m; do
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
    done < <(awk -v d="$dir/" 'index($2, d) == 1 { print $2 }' /proc/self/mounts | sort -r)
}

# A fresh root in a new folder under /var/tmp, in CHROOT_DIR, mounted and
# ready for chroot_run; chroot_cleanup (installed as the EXIT trap) undoes it.
chroot_create() {
    trap chroot_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    chroot_pristine
    CHROOT_DIR=$(mktemp -d /var/tmp/leverans-chroot.XXXXXX)
    tar -C "$CHROOT_DIR" --numeric-owner -xpf "$CHROOT_PRISTINE"
    # mktemp makes folders 0700; the root folder must be open to every user
    # (apt downloads as _apt).
    chmod 755 "$CHROOT_DIR"
    cp /etc/resolv.conf "$CHROOT_DIR/etc/resolv.conf"
    chroot_mount proc "$CHROOT_DIR/proc" -t proc
    chroot_mount sysfs "$CHROOT_DIR/sys" -t sysfs
    chroot_mount /dev "$CHROOT_DIR/dev" --bind
    # Private, so that nothing mounted below it reaches the host's /dev.
    mount --make-private "$CHROOT_DIR/dev"
    chroot_mount /dev/pts "$CHROOT_DIR/dev/pts" --bind
    chroot_mount tmpfs "$CHROOT_DIR/dev/shm" -t tmpfs
}

chroot_mount() {
    local source=$1 target=$2
    shift 2
    mkdir -p "$target"
    mount "$@" "$source" "$target" || die "cannot mount $source on $target"
    CHROOT_MOUNTS+=("$target")
}

chroot_cleanup() {
    local status=$? proc i start=$EPOCHREALTIME
    trap - EXIT INT TERM
    exec 1>&"$CHROOT_STDOUT" 2>&"$CHROOT_STDERR"
    if ((status == 130 || status == 143)); then
        printf '%s: interrupted\n' "$CHROOT_PROG" >&2
    fi
    chroot_discard_work
    if [[ -n $CHROOT_DIR && -d $CHROOT_DIR ]]; then
        # Processes left running inside (a display server, a hung test) would
        # keep the mounts busy; they were all started by this script.
        for proc in /proc/[0-9]*; do
            if [[ $(readlink "$proc/root" 2>/dev/null) == "$CHROOT_DIR" ]]; then
                kill -KILL "${proc#/proc/}" 2>/dev/null || true
            fi
        done
        for ((i = ${#CHROOT_MOUNTS[@]} - 1; i >= 0; i--)); do
            umount "${CHROOT_MOUNTS[i]}" 2>/dev/null || umount -l "${CHROOT_MOUNTS[i]}" ||
                printf '%s: cannot unmount %s\n' "$CHROOT_PROG" "${CHROOT_MOUNTS[i]}" >&2
        done
        chroot_umount_all "$CHROOT_DIR"
        if grep -q " $CHROOT_DIR/" /proc/self/mounts; then
            # Never delete through a mount into the host.
            printf '%s: mounts remain under %s; left in place\n' "$CHROOT_PROG" "$CHROOT_DIR" >&2
        elif [[ $CHROOT_KEEP == 1 ]]; then
            printf '%s: chroot kept in %s\n' "$CHROOT_PROG" "$CHROOT_DIR"
        else
            rm -rf --one-file-system "$CHROOT_DIR"
            printf '%s: chroot removed in %ss\n' "$CHROOT_PROG" "$(seconds_since "$start")"
        fi
    fi
    exit "$status"
}

# Runs a command line (bash) inside the root as root with a clean environment:
# no display, so programs behave as on a fresh headless machine.
chroot_run() {
    chroot "$CHROOT_DIR" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        DEBIAN_FRONTEND=noninteractive /bin/bash -c "$1"
}

# Wall time from an $EPOCHREALTIME value until now, in seconds.
seconds_since() {
    awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'
}

# step NAME LOG COMMAND...: runs the command with its output in LOG (and on
# the terminal when VERBOSE=1), then prints its wall time and PASS or FAIL.
# Returns the command's status.
STEP_RESULTS=()
step() {
    local name=$1 logfile=$2 start status=0 secs
    shift 2
    printf '\n== %s (%s)\n' "$name" "$(date +%T)"
    start=$EPOCHREALTIME
    # Redirections only, no pipeline: the command runs in this shell and
    # what it sets (CHROOT_DIR, traps) stays set.
    if [[ ${VERBOSE:-0} == 1 ]]; then
        "$@" > >(tee "$logfile") 2>&1 || status=$?
    else
        "$@" >"$logfile" 2>&1 || status=$?
    fi
    secs=$(seconds_since "$start")
    if ((status == 0)); then
        STEP_RESULTS+=("$(printf '%-8s %8ss  %s' PASS "$secs" "$name")")
    else
        STEP_RESULTS+=("$(printf '%-8s %8ss  %s (exit %d, log %s)' FAIL "$secs" "$name" "$status" "$logfile")")
        printf -- '-- last lines of %s:\n' "$logfile"
        tail -n 15 "$logfile" | sed 's/^/   /'
    fi
    printf '== %s: %s in %ss\n' "$name" "$( ((status == 0)) && echo PASS || echo FAIL)" "$secs"
    return "$status"
}
