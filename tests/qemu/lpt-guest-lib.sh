# Shared by lpt-run and bench/parallel-guest-bench: fetches a Debian kernel with the parallel-port
# modules, builds an initramfs around the static guest program, and boots it under QEMU with two
# emulated ISA parallel ports (0x378 and 0x278) whose output goes to host files.
# Source it; it defines kq_* functions and sets nothing else until they are called.

kq_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
kq_cache=${KORVANE_QEMU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane-qemu}
kq_modules=(parport parport_pc ppdev lp)
# About a second off each boot under TCG: no crypto self-tests, no mitigation patching, no TSC
# and timer checks that an emulated machine gains nothing from.
kq_fast_boot="cryptomgr.notests mitigations=off tsc=reliable no_timer_check"

kq_die() {
    echo "lpt: $*" >&2
    exit 1
}

kq_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || kq_die "$tool is missing: run scripts/setup-debian.sh"
    done
}

# The real linux-image-6.x package behind the linux-image-amd64 metapackage.
kq_kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image/{print $2; exit}'
}

# Uncompresses a bzImage the way the kernel's extract-vmlinux does: find the payload by its
# magic, unpack from there, keep the result if it is an ELF file. An ELF vmlinux boots through
# PVH, several times faster under TCG than the compressed image.
kq_extract_vmlinux() {
    local image=$1 out=$2 magic tool offset
    for pair in '\xfd7zXZ\x00:xz -dc' '\x1f\x8b\x08:gzip -dc' '\x28\xb5\x2f\xfd:zstd -dc'; do
        magic=${pair%%:*}
        tool=${pair#*:}
        offset=$(LC_ALL=C grep -aboP "$magic" "$image" 2>/dev/null | head -n1 | cut -d: -f1)
        [ -n "$offset" ] || continue
        tail -c +$((offset + 1)) "$image" | $tool >"$out.tmp" 2>/dev/null
        if [ "$(head -c4 "$out.tmp" | od -An -tx1 | tr -d ' \n')" = 7f454c46 ]; then
            mv "$out.tmp" "$out"
            return 0
        fi
    done
    rm -f "$out.tmp"
    return 1
}

# Sets kq_kernel (the image to boot) and kq_moddir (the .ko files), fetching them when missing.
kq_ensure_kernel() {
    local stamp="$kq_cache/kernel/ready"
    if [ ! -f "$stamp" ]; then
        kq_need apt-get apt-cache dpkg-deb tar
        mkdir -p "$kq_cache"
        local package
        package=$(kq_kernel_package)
        if [ -z "$package" ]; then
            echo "lpt: apt knows no linux-image-amd64, updating the package lists" >&2
            apt-get update -qq >&2 || kq_die "apt-get update failed"
            package=$(kq_kernel_package)
        fi
        [ -n "$package" ] || kq_die "cannot find the Debian kernel package (linux-image-amd64)"
        local download="$kq_cache/download"
        rm -rf "$download" "$kq_cache/kernel"
        mkdir -p "$download" "$kq_cache/kernel/modules"
        echo "lpt: fetching $package into $kq_cache" >&2
        # apt's sandbox user may not write into a home folder; the file lands here either way.
        if ! (cd "$download" && apt-get download -o APT::Sandbox::User=root "$package" >&2); then
            # Stale package lists name a version the mirror no longer has.
            apt-get update -qq >&2 || kq_die "apt-get update failed"
            package=$(kq_kernel_package)
            (cd "$download" && apt-get download -o APT::Sandbox::User=root "$package" >&2) ||
                kq_die "apt-get download $package failed"
        fi
        local deb
        deb=$(ls "$download"/*.deb | head -n1)
        dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$download" --wildcards \
            './boot/vmlinuz-*' '*/parport.ko*' '*/parport_pc.ko*' '*/ppdev.ko*' '*/lp.ko*' ||
            kq_die "cannot unpack $deb"
        local module file
        for module in "${kq_modules[@]}"; do
            file=$(find "$download/lib/modules" -name "$module.ko*" | head -n1)
            [ -n "$file" ] || kq_die "$deb has no $module module"
            case $file in
                *.ko) cp "$file" "$kq_cache/kernel/modules/$module.ko" ;;
                *.ko.xz) xz -dc "$file" >"$kq_cache/kernel/modules/$module.ko" ;;
                *.ko.zst) zstd -qdc "$file" >"$kq_cache/kernel/modules/$module.ko" ;;
                *) kq_die "unknown module format: $file" ;;
            esac
        done
        local vmlinuz
        vmlinuz=$(ls "$download"/boot/vmlinuz-* | head -n1)
        if ! kq_extract_vmlinux "$vmlinuz" "$kq_cache/kernel/vmlinux"; then
            echo "lpt: cannot uncompress $vmlinuz, booting it compressed (slower)" >&2
            cp "$vmlinuz" "$kq_cache/kernel/vmlinuz"
        fi
        basename "$deb" >"$stamp"
        rm -rf "$download"
    fi
    if [ -f "$kq_cache/kernel/vmlinux" ]; then
        kq_kernel="$kq_cache/kernel/vmlinux"
    else
        kq_kernel="$kq_cache/kernel/vmlinuz"
    fi
    kq_moddir="$kq_cache/kernel/modules"
}

# The static guest program: $KORVANE_LPT_GUEST, else built in $KORVANE_BUILD_DIR (default the
# repository's build folder), configured there first if needed.
kq_ensure_guest() {
    if [ -n "${KORVANE_LPT_GUEST:-}" ]; then
        kq_guest=$KORVANE_LPT_GUEST
        [ -x "$kq_guest" ] || kq_die "KORVANE_LPT_GUEST=$kq_guest is not an executable"
        return
    fi
    local build=${KORVANE_BUILD_DIR:-$kq_repo/build}
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$kq_repo" -B "$build" >&2 || kq_die "cannot configure $build"
    fi
    cmake --build "$build" --target korvane_lpt_guest -j2 >&2 ||
        kq_die "cannot build korvane_lpt_guest in $build (a sanitizer build has no such target)"
    kq_guest="$build/tests/qemu/korvane_lpt_guest"
}

# kq_initramfs OUT IMAGE INIT-SCRIPT: busybox, the modules, the guest program and the image.
kq_initramfs() {
    local out=$1 image=$2 init=$3 root
    kq_need busybox cpio
    root=$(mktemp -d)
    mkdir -p "$root"/{bin,sbin,dev,proc,sys,tmp,lib/modules}
    cp "$(command -v busybox)" "$root/bin/busybox"
    file -L "$root/bin/busybox" 2>/dev/null | grep -q 'dynamically linked' &&
        kq_die "busybox is not static: install busybox-static"
    cp "$kq_moddir"/*.ko "$root/lib/modules/"
    cp "$kq_guest" "$root/bin/korvane_lpt_guest"
    cp "$image" "$root/image.DPX"
    cp "$init" "$root/init"
    chmod 755 "$root/init" "$root/bin/korvane_lpt_guest" "$root/bin/busybox"
    chmod 644 "$root/image.DPX"
    chmod 755 "$root"
    chmod 1777 "$root/tmp"
    (cd "$root" && find . | cpio -o -H newc --quiet) >"$out"
    rm -rf "$root"
}

# kq_boot INITRAMFS CONSOLE LPT1-CHARDEV LPT2-CHARDEV [KERNEL-ARGUMENT...]: one guest run; the
# chardev arguments are QEMU -chardev backends such as "file,path=out.bin" or "null".
kq_boot() {
    local initramfs=$1 console=$2 lpt1=$3 lpt2=$4
    shift 4
    kq_need qemu-system-x86_64 timeout
    timeout "${KORVANE_QEMU_TIMEOUT:-300}" qemu-system-x86_64 \
        -accel tcg -M pc -m 256 -nodefaults -no-user-config -display none -no-reboot \
        -kernel "$kq_kernel" -initrd "$initramfs" \
        -append "console=ttyS0 quiet loglevel=1 panic=-1 $kq_fast_boot $*" \
        -serial "file:$console" \
        -chardev "$lpt1,id=lpt1" -device isa-parallel,chardev=lpt1,iobase=0x378,irq=7 \
        -chardev "$lpt2,id=lpt2" -device isa-parallel,chardev=lpt2,iobase=0x278,irq=5
}
