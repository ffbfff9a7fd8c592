"""The Python module against a program that uses the library, in both roles: the socket paths of
names, channel frames from 1 byte to 8 MiB and the end marker each way, one client per server, the
names that either side holds refused as busy with the library's code, directions that a server does
not offer, and the socket files that servers leave or replace."""

import os
import socket
import stat
import subprocess
import unittest

from tools_support import PipeTestCase, md5, pattern, peer, run, zelio

import zelio_peer
from zelio_peer import ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_INVALID_NAME, ERROR_PIPE_BUSY

FRAME_SIZES = [1, 2, 4095, 4096, 4097, 65536, (1 << 20) + 3, 8 << 20]


class NamesTest(PipeTestCase):
    NAMES = ["Mixed-Case", "with space/and:colon", "caf\u00e9", ".leading.dot", "a.b_c-d~e%f", "long" * 40]

    def assert_library_binds_there(self, name):
        library = self.start(peer("hold", name), stdin=subprocess.PIPE)
        self.expect_ready(library)
        path = zelio_peer.pipe_socket_path(name)
        self.assertTrue(stat.S_ISSOCK(os.lstat(path).st_mode), name)
        self.assertEqual(sorted(os.listdir(os.path.dirname(path))), sorted([".lock", os.path.basename(path)]))
        library.popen.stdin.close()
        self.assertEqual(library.finish()[0], 0)

    def test_the_socket_path_is_where_the_library_binds(self):
        for name in self.NAMES:
            self.assert_library_binds_there("\\\\.\\PIPE\\" + name)

    def test_the_directory_falls_back_to_tmpdir(self):
        del os.environ["XDG_RUNTIME_DIR"]
        os.environ["TMPDIR"] = self.scratch
        self.assertEqual(zelio_peer.pipe_directory(), "%s/zelio-pipes-%d" % (self.scratch, os.geteuid()))
        self.assert_library_binds_there(r"\\.\pipe\in-tmpdir")

    def test_names_the_library_refuses_are_refused(self):
        for name in ["no-prefix", "\\\\.\\pipe\\", "\\\\.\\pipe\\" + "x" * 248]:
            with self.assertRaises(zelio_peer.PipeError) as refused:
                zelio_peer.pipe_socket_path(name)
            self.assertEqual(refused.exception.code, ERROR_INVALID_NAME, name)
        self.assertTrue(zelio_peer.pipe_socket_path("\\\\.\\pipe\\" + "x" * 247))


class PythonServerTest(PipeTestCase):
    NAME = r"\\.\pipe\python-server"

    def test_frames_go_to_a_library_client_and_come_back(self):
        with zelio_peer.PipeServer(self.NAME) as server:
            library = self.start(peer("echo", self.NAME))
            server.accept(timeout=60)
            channel = zelio_peer.Channel(server)
            for k, size in enumerate(FRAME_SIZES):
                frame = pattern(size, k)
                channel.send(frame)
                self.assertEqual(channel.recv(), frame, "frame of %d bytes" % size)
            channel.send_end_marker()
            self.assertIsNone(channel.recv())
            self.assertTrue(channel.ended_by_marker)
            self.assertIsNone(channel.recv())
            channel.close()
        self.assertEqual(library.finish()[:2], (0, b"end\n"))

    def test_frames_come_from_a_library_client_until_its_end_marker(self):
        with zelio_peer.PipeServer(self.NAME, reads=True, writes=False) as server:
            library = self.start(peer("send", self.NAME, *[str(size) for size in FRAME_SIZES]))
            server.accept(timeout=60)
            channel = zelio_peer.Channel(server)
            for k, size in enumerate(FRAME_SIZES):
                self.assertEqual(md5(channel.recv()), md5(pattern(size, k)), "frame of %d bytes" % size)
            self.assertIsNone(channel.recv())
            self.assertTrue(channel.ended_by_marker)
        self.assertEqual(library.finish()[0], 0)

    def test_one_client_only_then_the_name_is_busy(self):
        with zelio_peer.PipeServer(self.NAME) as server:
            first = zelio_peer.PipeClient(self.NAME)
            # Waiting to be accepted, the first client holds the one instance...
            self.assertEqual(run(peer("open", self.NAME, "duplex"))[1], b"error 231\n")
            server.accept(timeout=60)
            # ... and once it is accepted, later clients are refused.
            self.assertEqual(run(peer("open", self.NAME, "duplex"))[1], b"error 231\n")
            with self.assertRaises(zelio_peer.PipeError) as refused:
                zelio_peer.PipeClient(self.NAME)
            self.assertEqual(refused.exception.code, ERROR_PIPE_BUSY)
            first.sendall(b"ping")
            self.assertEqual(server.recv_exact(4), b"ping")
            first.close()

    def test_a_library_server_cannot_take_the_name(self):
        with zelio_peer.PipeServer(self.NAME):
            status, out, _ = run(peer("serve-in", self.NAME, self.path("unused")))
            self.assertEqual((status, out), (1, b"error 231\n"))
        # Once the Python server has closed, the name is free and its files are gone.
        self.assertEqual(os.listdir(zelio_peer.pipe_directory()), [".lock"])
        self.assertEqual(os.listdir(os.path.join(zelio_peer.pipe_directory(), ".lock")), [])
        library = self.start(peer("hold", self.NAME), stdin=subprocess.PIPE)
        self.expect_ready(library)

    def test_a_library_client_gets_only_the_directions_offered(self):
        with zelio_peer.PipeServer(self.NAME, reads=True, writes=False) as server:
            self.assertEqual(run(peer("open", self.NAME, "in"))[1], b"error 5\n")
            self.assertEqual(run(peer("open", self.NAME, "duplex"))[1], b"error 5\n")
            library = self.start(peer("open-out", self.NAME, self.write_file("data", b"one way")))
            server.accept(timeout=60)
            self.assertEqual(server.recv_exact(7), b"one way")
            self.assertEqual(server.recv(1), b"")
        self.assertEqual(library.finish()[0], 0)

    def test_a_socket_nothing_answers_on_is_replaced_and_a_listening_one_is_not(self):
        path = zelio_peer.pipe_socket_path(self.NAME)
        os.makedirs(os.path.dirname(path), mode=0o700)
        left = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        left.bind(path)
        left.close()
        with zelio_peer.PipeServer(self.NAME) as server:
            self.assertEqual(server.socket_path, path)
            library = self.start(peer("open-out", self.NAME, self.write_file("data", b"x")))
            server.accept(timeout=60)
            self.assertEqual(server.recv_exact(1), b"x")
        self.assertEqual(library.finish()[0], 0)

        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(1)
        try:
            with self.assertRaises(zelio_peer.PipeError) as refused:
                zelio_peer.PipeServer(self.NAME)
            self.assertEqual(refused.exception.code, ERROR_PIPE_BUSY)
            # The look left no byte behind.
            listener.settimeout(60)
            probe, _ = listener.accept()
            self.assertEqual(probe.recv(1), b"")
            probe.close()
        finally:
            listener.close()


class PythonClientTest(PipeTestCase):
    NAME = r"\\.\pipe\python-client"

    def library_server(self, *arguments):
        library = self.start(peer(*arguments), stdin=subprocess.PIPE)
        self.expect_ready(library)
        return library

    def test_frames_go_to_a_library_server_and_end_with_the_marker(self):
        library = self.library_server("recv", self.NAME)
        with zelio_peer.PipeClient(self.NAME, reads=False, writes=True) as client:
            channel = zelio_peer.Channel(client)
            for k, size in enumerate(FRAME_SIZES):
                channel.send(pattern(size, k))
            channel.close()
        status, out, _ = library.finish()
        expected = ["%d %s" % (size, md5(pattern(size, k))) for k, size in enumerate(FRAME_SIZES)] + ["end"]
        self.assertEqual((status, out.decode().splitlines()), (0, expected))

    def test_frames_come_from_a_library_server(self):
        library = self.library_server("send-server", self.NAME, *[str(size) for size in FRAME_SIZES])
        with zelio_peer.PipeClient(self.NAME, reads=True, writes=False) as client:
            channel = zelio_peer.Channel(client)
            for k, size in enumerate(FRAME_SIZES):
                self.assertEqual(md5(channel.recv()), md5(pattern(size, k)), "frame of %d bytes" % size)
            self.assertIsNone(channel.recv())
            self.assertTrue(channel.ended_by_marker)
            with self.assertRaises(ValueError):
                channel.send(b"")
        self.assertEqual(library.finish()[0], 0)

    def test_refusals_carry_the_library_codes(self):
        with self.assertRaises(zelio_peer.PipeError) as refused:
            zelio_peer.PipeClient(self.NAME)
        self.assertEqual(refused.exception.code, ERROR_FILE_NOT_FOUND)

        library = self.library_server("hold", self.NAME)
        with self.assertRaises(zelio_peer.PipeError) as refused:
            zelio_peer.PipeClient(self.NAME, reads=True, writes=False)
        self.assertEqual(refused.exception.code, ERROR_ACCESS_DENIED)
        with zelio_peer.PipeClient(self.NAME, reads=False, writes=True):
            with self.assertRaises(zelio_peer.PipeError) as refused:
                zelio_peer.PipeClient(self.NAME, reads=False, writes=True)
            self.assertEqual(refused.exception.code, ERROR_PIPE_BUSY)
        with self.assertRaises(zelio_peer.PipeError) as refused:
            zelio_peer.PipeServer(self.NAME)
        self.assertEqual(refused.exception.code, ERROR_PIPE_BUSY)

        library.popen.kill()
        library.popen.wait()
        # A socket left by a server that died: nobody holds the lock, so the name is not busy.
        with self.assertRaises(zelio_peer.PipeError) as refused:
            zelio_peer.PipeClient(self.NAME, reads=False, writes=True)
        self.assertEqual(refused.exception.code, ERROR_FILE_NOT_FOUND)
        self.assertIn("dead", run(zelio("ls", "--all"))[1].decode())

    def test_a_private_directory_is_required(self):
        directory = zelio_peer.pipe_directory()
        os.makedirs(directory, mode=0o700)
        os.chmod(directory, 0o755)
        for make in (lambda: zelio_peer.PipeClient(self.NAME), lambda: zelio_peer.PipeServer(self.NAME)):
            with self.assertRaises(zelio_peer.PipeError) as refused:
                make()
            self.assertEqual(refused.exception.code, ERROR_ACCESS_DENIED)
        self.assertEqual(run(peer("hold", self.NAME))[1], b"error 5\n")


if __name__ == "__main__":
    unittest.main()
