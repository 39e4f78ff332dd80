#!/bin/busybox sh
# /init of the usb tests' guest. Loads the USB serial modules, then serves commands on
# the second serial port (ttyS1): a line is run by sh, and its standard output, standard
# error and exit status come back between marker lines. The console (ttyS0) gets the
# kernel's messages.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
for m in $(cat /lib/modules/order); do
  insmod "/lib/modules/$m" || echo "guest: insmod $m failed"
done
echo "guest: modules loaded"
for _ in $(seq 100); do
  [ -e /dev/ttyUSB0 ] && break
  sleep 0.1
done
ls -l /dev/ttyUSB* 2>&1
# The host's root, read-only, when QEMU shares it (tag hostroot): the browser checks run
# the host's own programs in a chroot, with the guest's kernel, devices and a writable /tmp.
mkdir -p /host
if mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 hostroot /host \
  2>/dev/null; then
  mount -t proc proc /host/proc
  mount -t sysfs sysfs /host/sys
  mount -t devtmpfs devtmpfs /host/dev
  mkdir -p /host/dev/shm /host/dev/pts
  mount -t tmpfs tmpfs /host/dev/shm
  mount -t devpts devpts /host/dev/pts
  # The chroot gets a writable /tmp and /run of its own; the host's are kept under
  # /host-tmp and /host-run, so that a source tree under either can be bound back in.
  mkdir -p /host-tmp /host-run
  mount -o bind /host/tmp /host-tmp
  mount -o bind /host/run /host-run
  mount -t tmpfs tmpfs /host/tmp
  mount -t tmpfs tmpfs /host/run
  mount -t tmpfs tmpfs /host/etc/chromium
  ip link set lo up
  echo "guest: host root in /host"
fi
# From now on the console shows the adapter coming and going.
dmesg -n 7
cd /tmp
exec </dev/ttyS1 >/dev/ttyS1 2>&1
stty raw -echo
echo "@@READY"
while IFS= read -r line; do
  sh -c "$line" >/tmp/out 2>/tmp/err </dev/null
  rc=$?
  echo "@@OUT"
  cat /tmp/out
  echo "@@ERR"
  cat /tmp/err
  echo "@@RC $rc"
done
