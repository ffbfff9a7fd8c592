"""zelio against itself, against a program that uses the library and against the Python module:
bytes through cat and serve, frames through send and recv, the live pipes that ls sees, md5 in
md5sum's form, names, the command line's answers, and the progress line."""

import os
import pty
import re
import signal
import subprocess
import sys
import unittest

from tools_support import PipeTestCase, md5, pattern, peer, run, zelio

import zelio_peer

FRAME_SIZES = [1, 4096, 4097, (3 << 20) + 5]


class CatServeTest(PipeTestCase):
    def serve(self, *arguments, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL):
        """zelio serve -v, once it says that the name is taken."""
        server = self.start(zelio("serve", "-v", *arguments), stdin=stdin, stdout=stdout)
        self.expect_ready(server, "stderr", "serving")
        return server

    def test_a_file_goes_from_server_to_client_and_back_byte_for_byte(self):
        data = os.urandom((3 << 20) + 17)
        source = self.write_file("source", data)
        with open(source, "rb") as stdin:
            server = self.serve("--out", "file-pipe", stdin=stdin)
        with open(self.path("copy"), "wb") as stdout:
            # Without a direction, cat takes the one the server offers.
            client = self.start(zelio("cat", "file-pipe"), stdout=stdout)
        self.assertEqual(client.finish()[0], 0)
        self.assertEqual(server.finish()[0], 0)
        self.assertEqual(self.read_file(self.path("copy")), data)

        with open(self.path("back"), "wb") as stdout:
            server = self.serve("--in", "file-pipe", stdout=stdout)
            with open(source, "rb") as stdin:
                self.assertEqual(run(zelio("cat", "--out", "file-pipe"), stdin=stdin)[0], 0)
            self.assertEqual(server.finish()[0], 0)
        self.assertEqual(self.read_file(self.path("back")), data)

    def test_an_empty_input_still_meets_the_client(self):
        server = self.serve("--out", "empty-pipe")
        status, out, err = run(zelio("cat", "--in", "empty-pipe"))
        self.assertEqual((status, out, err), (0, b"", b""))
        self.assertEqual(server.finish()[0], 0)

    def test_files_go_to_and_from_a_program_of_the_library(self):
        data = os.urandom(1 << 20)
        source = self.write_file("source", data)

        library = self.start(peer("serve-out", r"\\.\pipe\lib-out", source))
        self.expect_ready(library)
        status, out, _ = run(zelio("cat", "lib-out"))
        self.assertEqual((status, out), (0, data))
        self.assertEqual(library.finish()[0], 0)

        library = self.start(peer("serve-in", r"\\.\pipe\lib-in", self.path("library-copy")))
        self.expect_ready(library)
        with open(source, "rb") as stdin:
            self.assertEqual(run(zelio("cat", "--out", "lib-in"), stdin=stdin)[0], 0)
        self.assertEqual(library.finish()[0], 0)
        self.assertEqual(self.read_file(self.path("library-copy")), data)

        with open(source, "rb") as stdin:
            server = self.serve("--out", "zelio-out", stdin=stdin)
        self.assertEqual(run(peer("open-in", r"\\.\pipe\zelio-out", self.path("from-zelio")))[0], 0)
        self.assertEqual(server.finish()[0], 0)
        self.assertEqual(self.read_file(self.path("from-zelio")), data)

    def test_both_ways_the_end_of_standard_input_closes_the_pipe_unless_told_to_wait(self):
        data = os.urandom(200000)
        source = self.write_file("source", data)
        with open(self.path("received"), "wb") as stdout:
            server = self.serve("--wait", "duplex-pipe", stdout=stdout)
        with open(source, "rb") as stdin:
            status, out, err = run(zelio("cat", "duplex-pipe"), stdin=stdin)
        self.assertEqual((status, out, err), (0, b"", b""))
        self.assertEqual(server.finish()[0], 0)
        self.assertEqual(self.read_file(self.path("received")), data)

    def test_with_wait_the_client_reads_the_answer_to_its_end(self):
        data = os.urandom(300000)
        source = self.write_file("source", data)
        with zelio_peer.PipeServer(r"\\.\pipe\echo") as server:
            with open(source, "rb") as stdin, open(self.path("answer"), "wb") as stdout:
                client = self.start(zelio("cat", "--wait", "echo"), stdin=stdin, stdout=stdout)
            server.accept(timeout=60)
            # The answer goes back as it comes; the server closes once it has all.
            received = b""
            while len(received) < len(data):
                chunk = server.recv(65536)
                self.assertTrue(chunk, "the client closed before all its bytes came")
                received += chunk
                server.sendall(chunk)
            self.assertEqual(received, data)
        status, _, err = client.finish()
        self.assertEqual((status, err), (0, b""))
        self.assertEqual(self.read_file(self.path("answer")), data)

    def test_without_wait_the_client_closes_once_its_input_has_gone(self):
        with zelio_peer.PipeServer(r"\\.\pipe\no-wait") as server:
            client = self.start(zelio("cat", "--duplex", "no-wait"), stdin=subprocess.PIPE)
            server.accept(timeout=60)
            client.popen.stdin.write(b"question")
            client.popen.stdin.close()
            self.assertEqual(server.recv_exact(8), b"question")
            self.assertEqual(server.recv(10), b"", "the pipe stays open after the end of standard input")
            self.assertEqual(client.finish()[0], 0)

    def test_failures_end_with_one_line_and_status_1(self):
        status, out, err = run(zelio("cat", "nobody-serves-this"))
        self.assertEqual(status, 1)
        self.assertRegex(err.decode(), r"^zelio cat: cannot open \\\\\.\\pipe\\nobody-serves-this: .*\(error 2\)\n$")

        self.serve("--out", "one-way")
        status, _, err = run(zelio("cat", "--out", "one-way"))
        self.assertEqual(status, 1)
        self.assertRegex(err.decode(), r"^zelio cat: cannot open .*one-way: access denied.*\(error 5\)\n$")
        status, _, err = run(zelio("serve", "--in", "one-way"))
        self.assertEqual(status, 1)
        self.assertRegex(err.decode(), r"^zelio serve: cannot create .*one-way: the pipe is busy.*\(error 231\)\n$")

    def test_an_interrupted_server_removes_its_pipe(self):
        server = self.serve("--in", "interrupted")
        self.assertIn("interrupted", run(zelio("ls"))[1].decode())
        server.popen.send_signal(signal.SIGINT)
        status, _, err = server.finish()
        self.assertEqual((status, err), (1, b"zelio serve: interrupted\n"))
        self.assertEqual(run(zelio("ls", "--all"))[1], b"")


class SendRecvTest(PipeTestCase):
    def receive(self, *arguments, stdout=subprocess.PIPE):
        receiver = self.start(zelio("recv", "-v", *arguments), stdout=stdout)
        self.expect_ready(receiver, "stderr", "serving")
        return receiver

    @staticmethod
    def frame_lines(text):
        return [line.split() for line in text.decode().splitlines() if re.match(r"^\d{6} ", line)]

    def test_each_file_becomes_one_frame_and_one_numbered_file(self):
        contents = [os.urandom(size) for size in FRAME_SIZES]
        files = [self.write_file("file%d" % i, data) for i, data in enumerate(contents)]
        into = self.path("frames")
        receiver = self.receive("--into", into, "frames-pipe")
        status, _, sent = run(zelio("send", "-v", "frames-pipe", *files))
        self.assertEqual(status, 0)
        status, _, received = receiver.finish()
        self.assertEqual(status, 0)
        expected = [["%06d" % (i + 1), str(len(data)), md5(data)] for i, data in enumerate(contents)]
        self.assertEqual(self.frame_lines(sent), expected)
        self.assertEqual(self.frame_lines(received), expected)
        self.assertEqual(sorted(os.listdir(into)), ["%06d" % (i + 1) for i in range(len(contents))])
        for i, data in enumerate(contents):
            self.assertEqual(self.read_file(os.path.join(into, "%06d" % (i + 1))), data)

    def test_lines_of_standard_input_become_frames_newline_included(self):
        receiver = self.receive("lines-pipe")
        text = b"first\n\nlast without newline"
        source = self.write_file("lines", text)
        with open(source, "rb") as stdin:
            self.assertEqual(run(zelio("send", "--lines", "lines-pipe"), stdin=stdin)[0], 0)
        status, out, err = receiver.finish()
        self.assertEqual((status, out), (0, text))
        self.assertEqual([int(size) for _, size, _ in self.frame_lines(err)], [6, 1, 20])

    def test_an_empty_file_is_refused_before_anything_is_sent(self):
        receiver = self.receive("--into", self.path("frames"), "refusing")
        empty = self.write_file("empty", b"")
        full = self.write_file("full", b"content")
        status, _, err = run(zelio("send", "refusing", full, empty))
        self.assertEqual(status, 1)
        self.assertIn(b"empty: a frame of 0 bytes would be the end marker", err)
        # The refused send never connected: the receiver still waits for its one sender.
        self.assertEqual(run(zelio("send", "refusing", full))[0], 0)
        self.assertEqual(receiver.finish()[0], 0)
        self.assertEqual(os.listdir(self.path("frames")), ["000001"])

    def test_frames_go_to_a_program_of_the_library(self):
        contents = [os.urandom(size) for size in FRAME_SIZES]
        files = [self.write_file("file%d" % i, data) for i, data in enumerate(contents)]
        library = self.start(peer("recv", r"\\.\pipe\to-library"))
        self.expect_ready(library)
        self.assertEqual(run(zelio("send", "to-library", *files))[0], 0)
        status, out, _ = library.finish()
        self.assertEqual(status, 0)
        expected = ["%d %s" % (len(data), md5(data)) for data in contents] + ["end"]
        self.assertEqual(out.decode().splitlines(), expected)

    def test_frames_come_from_a_program_of_the_library(self):
        into = self.path("frames")
        receiver = self.receive("--into", into, "from-library")
        sizes = [str(size) for size in FRAME_SIZES]
        self.assertEqual(run(peer("send", r"\\.\pipe\from-library", *sizes))[0], 0)
        status, _, err = receiver.finish()
        self.assertEqual(status, 0)
        for k, size in enumerate(FRAME_SIZES):
            frame = self.read_file(os.path.join(into, "%06d" % (k + 1)))
            self.assertEqual(md5(frame), md5(pattern(size, k)), "frame %d" % (k + 1))
        self.assertEqual(len(self.frame_lines(err)), len(FRAME_SIZES))


class LsTest(PipeTestCase):
    def listing(self, *arguments):
        status, out, err = run(zelio("ls", *arguments))
        self.assertEqual((status, err), (0, b""))
        return [line.split(None, 4) for line in out.decode().splitlines()]

    def test_live_servers_are_listed_with_their_process(self):
        server = self.start(zelio("serve", "-v", "--in", "Zelio Live/One"))
        self.expect_ready(server, "stderr", "serving")
        library = self.start(peer("hold", r"\\.\pipe\held"), stdin=subprocess.PIPE)
        self.expect_ready(library)
        with zelio_peer.PipeServer(r"\\.\pipe\python", reads=False, writes=True):
            rows = {row[4]: row[:4] for row in self.listing()}
        self.assertEqual(rows[r"\\.\pipe\zelio live/one"][:3], ["live", "in", str(server.pid)])
        self.assertEqual(rows[r"\\.\pipe\held"][:3], ["live", "in", str(library.pid)])
        self.assertEqual(rows[r"\\.\pipe\python"][:3], ["live", "out", str(os.getpid())])
        self.assertEqual(len(rows), 3)

    def test_a_dead_server_is_listed_only_with_all(self):
        server = self.start(zelio("serve", "-v", "dies"))
        self.expect_ready(server, "stderr", "serving")
        self.assertEqual([row[0] for row in self.listing()], ["live"])
        server.popen.kill()
        server.popen.wait()
        self.assertEqual(self.listing(), [])
        rows = self.listing("--all")
        self.assertEqual(len(rows), 1)
        self.assertEqual([rows[0][0], rows[0][1], rows[0][2], rows[0][4]], ["dead", "duplex", "-", r"\\.\pipe\dies"])

    def test_a_hashed_name_is_shown_as_such(self):
        name = "\\\\.\\pipe\\" + "long" * 40
        library = self.start(peer("hold", name), stdin=subprocess.PIPE)
        self.expect_ready(library)
        hashed = os.path.basename(zelio_peer.pipe_socket_path(name))
        self.assertRegex(hashed, r"^~[0-9a-f]{16}$")
        rows = self.listing()
        self.assertEqual(len(rows), 1)
        self.assertEqual(rows[0][:3] + rows[0][4:], ["live", "in", str(library.pid), hashed + " (hashed)"])
        self.assertRegex(rows[0][3], r"^\d+s$")


class Md5NameTest(PipeTestCase):
    def test_md5_prints_what_md5sum_checks(self):
        names = ["plain", "with space", "back\\slash", "new\nline"]
        files = [self.write_file(name, os.urandom(1000 + i)) for i, name in enumerate(names)]
        status, out, err = run(zelio("md5", *files))
        self.assertEqual((status, err), (0, b""))
        self.assertEqual(out, run(["md5sum"] + files)[1])
        check = subprocess.run(["md5sum", "-c"], input=out, capture_output=True, timeout=60)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)

    def test_md5_goes_on_after_a_file_it_cannot_read(self):
        present = self.write_file("present", b"abc")
        status, out, err = run(zelio("md5", self.path("missing"), present))
        self.assertEqual(status, 1)
        self.assertEqual(out.decode(), "%s  %s\n" % (md5(b"abc"), present))
        self.assertRegex(err.decode(), r"^zelio md5: .*missing: .+\n$")

    def test_names_are_new_each_time(self):
        first, second = (run(zelio("name"))[1].decode() for _ in range(2))
        uuid = r"[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"
        self.assertRegex(first, r"^\\\\\.\\pipe\\%s\n$" % uuid)
        self.assertNotEqual(first, second)
        os.environ["TMPDIR"] = self.scratch
        temporary = run(zelio("name", "--temp"))[1].decode().rstrip("\n")
        self.assertEqual(os.path.dirname(temporary), self.scratch)
        self.assertRegex(os.path.basename(temporary), "^" + uuid)
        self.assertFalse(os.path.exists(temporary))


class CommandLineTest(PipeTestCase):
    VERBS = ["ls", "cat", "serve", "send", "recv", "md5", "name"]

    def test_every_verb_has_help(self):
        for verb in self.VERBS:
            status, out, err = run(zelio(verb, "--help"))
            self.assertEqual((status, err), (0, b""), verb)
            self.assertTrue(out.decode().startswith("usage: zelio %s" % verb), out)
        self.assertEqual(run(zelio("--help"))[0], 0)

    def test_a_wrong_command_line_ends_with_status_2(self):
        for arguments in (["ls", "--bogus"], ["cat"], ["cat", "--in", "--out", "x"], ["serve", "--in", "--wait", "x"],
                          ["recv", "--into"], ["md5"], ["name", "extra"], ["frobnicate"], []):
            status, out, err = run(zelio(*arguments))
            self.assertEqual(status, 2, arguments)
            self.assertEqual(out, b"", arguments)
            if arguments:
                self.assertEqual(err.count(b"\n"), 1, (arguments, err))


class ProgressTest(PipeTestCase):
    def copy_with_stderr(self, stderr):
        data = os.urandom(100000)
        with open(self.write_file("source", data), "rb") as stdin:
            server = self.start(zelio("serve", "-v", "--out", "progress"), stdin=stdin, stdout=subprocess.DEVNULL)
        self.expect_ready(server, "stderr", "serving")
        client = subprocess.Popen(zelio("cat", "progress"), stdout=subprocess.PIPE, stderr=stderr)
        out = client.stdout.read()
        client.stdout.close()
        self.assertEqual(client.wait(60), 0)
        self.assertEqual(out, data)
        self.assertEqual(server.finish()[0], 0)

    def test_a_terminal_shows_the_progress_line_and_a_pipe_never_does(self):
        controller, terminal = pty.openpty()
        try:
            self.copy_with_stderr(terminal)
            os.close(terminal)
            terminal = None
            shown = b""
            while True:
                try:
                    chunk = os.read(controller, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            if terminal is not None:
                os.close(terminal)
            os.close(controller)
        self.assertRegex(shown.decode(), r"zelio: 97\.7 KiB, [0-9.]+ [KMG]?i?B/s")

        reader, writer = os.pipe()
        self.copy_with_stderr(writer)
        os.close(writer)
        with os.fdopen(reader, "rb") as piped:
            self.assertEqual(piped.read(), b"")


class InstallTest(PipeTestCase):
    def test_the_command_and_the_module_work_where_they_are_installed(self):
        prefix = self.path("prefix")
        install = [os.environ["CMAKE_COMMAND"], "--install", os.environ["ZELIO_BUILD_DIR"], "--prefix", prefix]
        status, _, err = run(install)
        self.assertEqual(status, 0, err)
        status, out, err = run([os.path.join(prefix, "bin", "zelio"), "name"])
        self.assertEqual((status, err), (0, b""))
        self.assertTrue(out.startswith(b"\\\\.\\pipe\\"), out)
        module = os.path.join(prefix, "share", "zelio", "python")
        environment = dict(os.environ, PYTHONPATH=module)
        found = subprocess.run([sys.executable, "-c", "import zelio_peer; print(zelio_peer.__file__)"],
                               env=environment, capture_output=True, timeout=60)
        self.assertEqual(found.returncode, 0, found.stderr)
        self.assertEqual(os.path.dirname(found.stdout.decode().strip()), module)


if __name__ == "__main__":
    unittest.main()
