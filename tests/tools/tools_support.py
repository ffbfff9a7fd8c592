"""What the tests of zelio and of zelio_peer share: the programs under test, a private pipe
directory for each test, processes whose output is read with a bound on the wait, and the frames'
byte pattern."""

import hashlib
import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest

ZELIO = os.environ["ZELIO_COMMAND"]
PEER = os.environ["ZELIO_TEST_PEER"]
# A bound on every wait, so that a test that goes wrong fails instead of hanging; never a signal.
WAIT = 60


def pattern(size, seed):
    """Frame number seed of size bytes, as the test peer makes it: byte i is (i * 131 + seed) % 251."""
    period = bytes((i * 131 + seed) % 251 for i in range(251))
    return (period * (size // 251 + 1))[:size]


def md5(data):
    return hashlib.md5(data).hexdigest()


class Output:
    """A child's output stream, read by lines as they come or whole at its end, never waiting
    longer than WAIT."""

    def __init__(self, stream):
        self._fd = stream.fileno()
        self._stream = stream
        self._buffer = b""
        self._ended = False

    def _fill(self, deadline):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            raise AssertionError("no output within %d s; so far: %r" % (WAIT, self._buffer))
        ready, _, _ = select.select([self._fd], [], [], remaining)
        if ready:
            chunk = os.read(self._fd, 65536)
            self._ended = not chunk
            self._buffer += chunk

    def line(self):
        """The next line, without its newline; AssertionError when the stream ends first."""
        deadline = time.monotonic() + WAIT
        while b"\n" not in self._buffer:
            if self._ended:
                raise AssertionError("the stream ended before a whole line: %r" % self._buffer)
            self._fill(deadline)
        line, self._buffer = self._buffer.split(b"\n", 1)
        return line.decode("utf-8", "replace")

    def rest(self):
        """Everything up to the stream's end."""
        deadline = time.monotonic() + WAIT
        while not self._ended:
            self._fill(deadline)
        rest, self._buffer = self._buffer, b""
        return rest


class Process:
    """A child process; stdout and stderr are read through Output unless redirected elsewhere."""

    def __init__(self, arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE):
        self.popen = subprocess.Popen(arguments, stdin=stdin, stdout=stdout, stderr=stderr)
        self.stdout = Output(self.popen.stdout) if stdout == subprocess.PIPE else None
        self.stderr = Output(self.popen.stderr) if stderr == subprocess.PIPE else None
        self.pid = self.popen.pid

    def finish(self):
        """Waits for the end; returns (status, stdout, stderr) with the output not read yet."""
        out = self.stdout.rest() if self.stdout else b""
        err = self.stderr.rest() if self.stderr else b""
        return self.popen.wait(WAIT), out, err

    def kill(self):
        if self.popen.poll() is None:
            self.popen.kill()
        self.popen.wait(WAIT)
        for stream in (self.popen.stdin, self.popen.stdout, self.popen.stderr):
            if stream:
                stream.close()


def zelio(*arguments):
    return [ZELIO] + list(arguments)


def peer(*arguments):
    return [PEER] + list(arguments)


def run(arguments, stdin=subprocess.DEVNULL):
    """Runs a program to its end: (status, stdout, stderr)."""
    done = subprocess.run(arguments, stdin=stdin, capture_output=True, timeout=WAIT)
    return done.returncode, done.stdout, done.stderr


class PipeTestCase(unittest.TestCase):
    """Each test gets a scratch directory, whose subdirectory "run" holds the pipes
    (XDG_RUNTIME_DIR), so that no other pipe of the user is seen; processes it starts are ended
    with it."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="zelio-tools-test-")
        runtime = os.path.join(self.scratch, "run")
        os.mkdir(runtime, 0o700)
        self._saved = {name: os.environ.get(name) for name in ("XDG_RUNTIME_DIR", "TMPDIR")}
        os.environ["XDG_RUNTIME_DIR"] = runtime
        os.environ.pop("TMPDIR", None)
        self._processes = []

    def tearDown(self):
        for process in self._processes:
            process.kill()
        for name, value in self._saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        shutil.rmtree(self.scratch, ignore_errors=True)

    def start(self, arguments, **streams):
        process = Process(arguments, **streams)
        self._processes.append(process)
        return process

    def path(self, name):
        return os.path.join(self.scratch, name)

    def write_file(self, name, data):
        path = self.path(name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def read_file(self, path):
        with open(path, "rb") as file:
            return file.read()

    def expect_ready(self, process, stream="stdout", text="ready"):
        line = getattr(process, stream).line()
        self.assertIn(text, line)
