#!/usr/bin/env python3
"""The usb harness's start on a machine it has never seen: the accelerator it picks and
its connection to sockets that may be stale or not listening yet."""

import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import usb_guest  # noqa: E402

PRINTS = [sys.executable, "-c", "print('Linux version 6.1.0')"]
HANGS = [sys.executable, "-c", "import time; time.sleep(60)"]


class InTempDir(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.kvm, self.sock, self.log = (os.path.join(self.dir.name, name)
                                         for name in ("kvm", "cmd.sock", "qemu.log"))


class AcceleratorChoice(InTempDir):
    def setUp(self):
        super().setUp()
        open(self.kvm, "w").close()

    def test_a_kvm_device_whose_guest_never_prints_gives_tcg_in_time(self):
        began = time.time()
        self.assertEqual(usb_guest.choose_accel("", self.kvm, HANGS, timeout=1), "tcg")
        self.assertLess(time.time() - began, 5)

    def test_kvm_only_when_its_guest_prints_or_it_is_asked_for(self):
        self.assertEqual(usb_guest.choose_accel("", self.kvm, PRINTS, timeout=10), "kvm")
        missing = os.path.join(self.dir.name, "none")
        self.assertEqual(usb_guest.choose_accel("", missing, PRINTS), "tcg")
        self.assertEqual(usb_guest.choose_accel("kvm", missing, HANGS), "kvm")
        self.assertEqual(usb_guest.choose_accel("tcg", self.kvm, PRINTS), "tcg")
        self.assertEqual(usb_guest.choose_accel("", self.kvm, ["/nonexistent/qemu"]), "tcg")


class Connect(InTempDir):
    def test_a_stale_socket_file_is_retried_until_the_server_listens(self):
        stale = socket.socket(socket.AF_UNIX)
        stale.bind(self.sock)  # a file that refuses connections, as a dead run leaves
        stale.close()
        server = socket.socket(socket.AF_UNIX)

        def listen_later():
            time.sleep(0.5)
            os.unlink(self.sock)
            server.bind(self.sock)
            server.listen(1)

        threading.Thread(target=listen_later).start()
        proc = subprocess.Popen(HANGS)
        try:
            usb_guest.connect(self.sock, proc, self.log, 10).close()
        finally:
            proc.kill()
            proc.wait()
            server.close()

    def test_a_server_that_ends_first_fails_with_its_log(self):
        with open(self.log, "w") as out:
            proc = subprocess.Popen(["sh", "-c", "echo 'invalid accelerator'; exit 1"],
                                    stdout=out)
        with self.assertRaisesRegex(usb_guest.Failure, "status 1(.|\n)*invalid accelerator"):
            usb_guest.connect(self.sock, proc, self.log, 10)


if __name__ == "__main__":
    unittest.main()
