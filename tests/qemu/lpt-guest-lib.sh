# Shared by the QEMU guests (lpt-run, serial-run and their benchmarks): fetches a Debian kernel
# with the parallel-port and USB serial modules, builds an initramfs around a guest program, and
# boots it under QEMU; kq_boot adds two emulated ISA parallel ports (0x378 and 0x278) whose output
# goes to host files.
# Source it; it defines kq_* functions and sets nothing else until they are called (kq_name, the
# prefix of its messages, may be set before).

kq_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
kq_cache=${KORVANE_QEMU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane-qemu}
kq_name=${kq_name:-lpt}
kq_modules=(parport parport_pc ppdev lp)
# In load order: the FTDI adapter on QEMU's xHCI controller.
kq_usb_modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)
# About a second off each boot under TCG: no crypto self-tests, no mitigation patching, no TSC
# and timer checks that an emulated machine gains nothing from.
kq_fast_boot="cryptomgr.notests mitigations=off tsc=reliable no_timer_check"

kq_die() {
    echo "$kq_name: $*" >&2
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
    mkdir -p "$kq_cache"
    # Guests started side by side (ctest -j) fetch the kernel once.
    exec {kq_lock}>"$kq_cache/lock"
    flock "$kq_lock" || kq_die "cannot lock $kq_cache/lock"
    kq_fetch_kernel
    exec {kq_lock}>&-
    if [ -f "$kq_cache/kernel/vmlinux" ]; then
        kq_kernel="$kq_cache/kernel/vmlinux"
    else
        kq_kernel="$kq_cache/kernel/vmlinuz"
    fi
    kq_moddir="$kq_cache/kernel/modules"
}

kq_fetch_kernel() {
    local stamp="$kq_cache/kernel/ready" module
    # A cache from before the USB modules were kept is fetched again.
    for module in "${kq_modules[@]}" "${kq_usb_modules[@]}"; do
        [ -f "$kq_cache/kernel/modules/$module.ko" ] || rm -f "$stamp"
    done
    if [ ! -f "$stamp" ]; then
        kq_need apt-get apt-cache dpkg-deb tar
        mkdir -p "$kq_cache"
        local package
        package=$(kq_kernel_package)
        if [ -z "$package" ]; then
            echo "$kq_name: apt knows no linux-image-amd64, updating the package lists" >&2
            apt-get update -qq >&2 || kq_die "apt-get update failed"
            package=$(kq_kernel_package)
        fi
        [ -n "$package" ] || kq_die "cannot find the Debian kernel package (linux-image-amd64)"
        local download="$kq_cache/download"
        rm -rf "$download" "$kq_cache/kernel"
        mkdir -p "$download" "$kq_cache/kernel/modules"
        echo "$kq_name: fetching $package into $kq_cache" >&2
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
        local patterns=('./boot/vmlinuz-*') file
        for module in "${kq_modules[@]}" "${kq_usb_modules[@]}"; do
            patterns+=("*/$module.ko*")
        done
        dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$download" --wildcards "${patterns[@]}" ||
            kq_die "cannot unpack $deb"
        for module in "${kq_modules[@]}" "${kq_usb_modules[@]}"; do
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
            echo "$kq_name: cannot uncompress $vmlinuz, booting it compressed (slower)" >&2
            cp "$vmlinuz" "$kq_cache/kernel/vmlinuz"
        fi
        basename "$deb" >"$stamp"
        rm -rf "$download"
    fi
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

# kq_root_new: a fresh root folder in kq_root with busybox and the modules; kq_pack puts it in an
# initramfs. The root is mode 755 so that a guest user other than root can reach anything.
kq_root_new() {
    kq_need busybox cpio
    kq_root=$(mktemp -d)
    mkdir -p "$kq_root"/{bin,sbin,dev,proc,sys,tmp,lib/modules}
    cp "$(command -v busybox)" "$kq_root/bin/busybox"
    file -L "$kq_root/bin/busybox" 2>/dev/null | grep -q 'dynamically linked' &&
        kq_die "busybox is not static: install busybox-static"
    cp "$kq_moddir"/*.ko "$kq_root/lib/modules/"
    chmod 755 "$kq_root/bin/busybox"
    chmod 755 "$kq_root"
    chmod 1777 "$kq_root/tmp"
}

# kq_pack OUT: the initramfs of kq_root, which is removed.
kq_pack() {
    (cd "$kq_root" && find . | cpio -o -H newc --quiet) >"$1"
    rm -rf "$kq_root"
}

# kq_initramfs OUT IMAGE INIT-SCRIPT: busybox, the modules, the guest program and the image.
kq_initramfs() {
    local out=$1 image=$2 init=$3
    kq_root_new
    cp "$kq_guest" "$kq_root/bin/korvane_lpt_guest"
    cp "$image" "$kq_root/image.DPX"
    cp "$init" "$kq_root/init"
    chmod 755 "$kq_root/init" "$kq_root/bin/korvane_lpt_guest"
    chmod 644 "$kq_root/image.DPX"
    kq_pack "$out"
}

# kq_qemu INITRAMFS KERNEL-ARGUMENTS QEMU-ARGUMENT...: one guest run on a bare PC, with the
# devices the arguments add.
kq_qemu() {
    local initramfs=$1 append=$2
    shift 2
    kq_need qemu-system-x86_64 timeout
    timeout "${KORVANE_QEMU_TIMEOUT:-300}" qemu-system-x86_64 \
        -accel tcg -M pc -m 256 -nodefaults -no-user-config -display none -no-reboot \
        -kernel "$kq_kernel" -initrd "$initramfs" \
        -append "quiet loglevel=1 panic=-1 $kq_fast_boot $append" "$@"
}

# kq_boot INITRAMFS CONSOLE LPT1-CHARDEV LPT2-CHARDEV [KERNEL-ARGUMENT...]: one guest run; the
# chardev arguments are QEMU -chardev backends such as "file,path=out.bin" or "null".
kq_boot() {
    local initramfs=$1 console=$2 lpt1=$3 lpt2=$4
    shift 4
    kq_qemu "$initramfs" "console=ttyS0 $*" \
        -serial "file:$console" \
        -chardev "$lpt1,id=lpt1" -device isa-parallel,chardev=lpt1,iobase=0x378,irq=7 \
        -chardev "$lpt2,id=lpt2" -device isa-parallel,chardev=lpt2,iobase=0x278,irq=5
}
