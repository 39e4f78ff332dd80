#!/bin/sh
# Makes the guest of the usb tests: an initramfs holding busybox (static), the USB and
# FTDI serial and virtio-9p modules of the installed Debian kernel, zev1-wifi with the libraries it
# links, and guest_init.sh as /init. All of it comes from installed Debian packages
# (busybox-static, linux-image-amd64, kmod, cpio) and from this build.
#   make_guest.sh OUT.cpio.gz KERNEL_OUT ZEV1_WIFI GUEST_INIT
set -eu
out=$1 kernel_out=$2 tool=$3 init=$4

kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -1)
[ -n "$kernel" ] || { echo "make_guest: no /boot/vmlinuz-* (install linux-image-amd64)" >&2; exit 1; }
release=${kernel#/boot/vmlinuz-}
[ -d "/lib/modules/$release" ] || { echo "make_guest: no /lib/modules/$release" >&2; exit 1; }
busybox=/bin/busybox
file_is_static() { ! ldd "$1" >/dev/null 2>&1; }
file_is_static "$busybox" || { echo "make_guest: $busybox is not static (install busybox-static)" >&2; exit 1; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/bin" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/lib/modules"
cp "$busybox" "$root/bin/busybox"
cp "$init" "$root/init"
chmod 755 "$root/init"

# The modules in load order, dependencies first, each once.
: > "$root/lib/modules/order"
modprobe=$(command -v modprobe || echo /sbin/modprobe)
for module in xhci_pci ftdi_sio virtio_pci 9pnet_virtio 9p; do
  "$modprobe" -S "$release" --show-depends "$module" | awk '$1 == "insmod" { print $2 }'
done | awk '!seen[$0]++' | while read -r path; do
  case "$path" in
    *.ko) cp "$path" "$root/lib/modules/" ;;
    *.ko.xz) xz -dc "$path" > "$root/lib/modules/$(basename "$path" .xz)" ;;
    *.ko.zst) zstd -qdc "$path" > "$root/lib/modules/$(basename "$path" .zst)" ;;
    *) echo "make_guest: cannot unpack $path" >&2; exit 1 ;;
  esac
  basename "$path" | sed -E 's/\.(xz|zst)$//' >> "$root/lib/modules/order"
done

# The tool and the libraries it links, at the same paths as on the host.
objcopy --strip-all "$tool" "$root/bin/zev1-wifi"
ldd "$tool" | awk '/=>/ { print $3 } /^[[:space:]]*\// { print $1 }' | while read -r lib; do
  [ -f "$lib" ] || continue
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
[ -e "$root/lib64" ] || [ ! -d /lib64 ] || { mkdir -p "$root/lib64"; cp -L /lib64/ld-linux-x86-64.so.2 "$root/lib64/"; }

(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -1 > "$out.tmp"
mv "$out.tmp" "$out"
cp "$kernel" "$kernel_out"
