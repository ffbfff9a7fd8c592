"""zelio_peer: the named pipes and channels of ZelIO for Python programs that do not use the library.

Standard library only; Linux, where a pipe \\\\.\\pipe\\NAME is a Unix stream socket in a private
directory of the user. The ends follow the library's own rules, so a program of the library sees
a peer of this module as one of its own:

- pipe_socket_path(name): where the socket of a pipe name lives;
- PipeServer(name, reads, writes): the server end. It takes the name's lock, replaces a socket
  file that nothing answers on, listens, accepts exactly one client and then refuses every other;
  close() removes its files;
- PipeClient(name, reads, writes): the client end, refused as the library refuses it: no server
  (ERROR_FILE_NOT_FOUND), a direction the server does not offer (ERROR_ACCESS_DENIED), a server that
  has its client (ERROR_PIPE_BUSY);
- Channel(end): the library's frames over either end: send(bytes), recv() -> bytes, or None at the
  end marker, close() sends the end marker.

    import zelio_peer
    with zelio_peer.PipeClient(r"\\\\.\\pipe\\my-pipe") as end:
        channel = zelio_peer.Channel(end)
        channel.send(b"hello")
        print(channel.recv())
        channel.close()

A server of this module does not clean up the files that other servers left when they died; a
server of the library does that as it starts.
"""

import errno
import fcntl
import os
import socket
import stat
import struct
import time
import uuid

__all__ = [
    "PIPE_PREFIX",
    "ERROR_FILE_NOT_FOUND",
    "ERROR_ACCESS_DENIED",
    "ERROR_INVALID_NAME",
    "ERROR_PIPE_BUSY",
    "PipeError",
    "generate_pipe_name",
    "pipe_directory",
    "pipe_socket_path",
    "PipeServer",
    "PipeClient",
    "Channel",
]

PIPE_PREFIX = "\\\\.\\pipe\\"

# The Win32 codes that the library reports for the same conditions.
ERROR_FILE_NOT_FOUND = 2
ERROR_ACCESS_DENIED = 5
ERROR_INVALID_NAME = 123
ERROR_PIPE_BUSY = 231

_MAX_NAME_LENGTH = 256
# A socket address holds 108 bytes, its terminating zero included.
_MAX_SOCKET_PATH = 107
_KEPT_BYTES = frozenset(b"abcdefghijklmnopqrstuvwxyz0123456789-_")
_FNV_OFFSET_BASIS = 0xCBF29CE484222325
_FNV_PRIME = 0x100000001B3
# struct flock on Linux: l_type, l_whence, l_start, l_len, l_pid, and the padding to 32 bytes.
_FLOCK = "hhqqi4x"
# A server that sweeps dead servers' files holds a lock on the lock file's second byte for a few
# system calls; a server taking the name waits for it at most this many times this long.
_SWEEP_WAITS = 10000
_SWEEP_PAUSE = 0.0001
_FRAME_LENGTH = struct.Struct("<Q")


class PipeError(OSError):
    """A pipe end could not be made; code is the Win32 code the library gives for it."""

    def __init__(self, code, message, pipe_name=None):
        super().__init__("%s (error %d)" % (message, code))
        self.code = code
        self.pipe_name = pipe_name


def generate_pipe_name():
    """A new pipe name: the prefix and a random UUID, as the library's GeneratePipeName makes it."""
    return PIPE_PREFIX + str(uuid.uuid4())


def pipe_directory():
    """The directory of this user's pipe sockets: <base>/zelio-pipes-<uid>, where <base> is
    $XDG_RUNTIME_DIR when it names a directory, else $TMPDIR when it names one, else /tmp."""
    return os.fsdecode(_directory_bytes())


def pipe_socket_path(pipe_name):
    """The socket path of a pipe name (str or bytes, "\\\\.\\pipe\\" followed by the name)."""
    return os.fsdecode(_paths(pipe_name).socket)


def _directory_bytes():
    base = b"/tmp"
    for variable in (b"XDG_RUNTIME_DIR", b"TMPDIR"):
        value = os.environb.get(variable)
        if value and value.startswith(b"/") and os.path.isdir(value):
            base = value
            break
    base = base.rstrip(b"/") or b"/"
    return base + b"/zelio-pipes-" + str(os.geteuid()).encode()


def _folded_name(pipe_name):
    """The bytes after the prefix, with the ASCII capitals made small (names ignore case)."""
    raw = pipe_name.encode("utf-8") if isinstance(pipe_name, str) else bytes(pipe_name)
    prefix = PIPE_PREFIX.encode()
    if len(raw) <= len(prefix) or len(raw) > _MAX_NAME_LENGTH or raw[: len(prefix)].lower() != prefix:
        raise PipeError(ERROR_INVALID_NAME, "not a local pipe name: %r" % (pipe_name,), pipe_name)
    return bytes(c + 32 if 65 <= c <= 90 else c for c in raw[len(prefix) :])


def _escaped_file_name(folded):
    return b"".join(
        bytes([c]) if c in _KEPT_BYTES or (c == ord(".") and i > 0) else b"%%%02X" % c
        for i, c in enumerate(folded)
    )


def _hashed_file_name(folded):
    value = _FNV_OFFSET_BASIS
    for c in folded:
        value = ((value ^ c) * _FNV_PRIME) & 0xFFFFFFFFFFFFFFFF
    return b"~%016x" % value


class _Paths:
    def __init__(self, pipe_name):
        folded = _folded_name(pipe_name)
        self.directory = _directory_bytes()
        self.lock_directory = self.directory + b"/.lock"
        file_name = _escaped_file_name(folded)
        if len(self.directory) + 1 + len(file_name) > _MAX_SOCKET_PATH:
            file_name = _hashed_file_name(folded)
        if len(self.directory) + 1 + len(file_name) > _MAX_SOCKET_PATH:
            raise PipeError(ERROR_INVALID_NAME, "no socket address can hold the path", pipe_name)
        self.socket = self.directory + b"/" + file_name
        self.lock = self.lock_directory + b"/" + file_name


def _paths(pipe_name):
    return _Paths(pipe_name)


def _check_private(directory, pipe_name):
    """The directory must be a real directory of this user, closed to everyone else."""
    try:
        status = os.lstat(directory)
    except FileNotFoundError:
        raise PipeError(ERROR_FILE_NOT_FOUND, "no pipe directory", pipe_name) from None
    if not stat.S_ISDIR(status.st_mode) or status.st_uid != os.geteuid() or status.st_mode & 0o077:
        raise PipeError(ERROR_ACCESS_DENIED, "the pipe directory is not private", pipe_name)


def _make_directory(path):
    try:
        os.mkdir(path, 0o700)
    except FileExistsError:
        pass


def _lock_request(lock_type, start=0, length=0):
    return struct.pack(_FLOCK, lock_type, os.SEEK_SET, start, length, 0)


def _conflicting_lock(fd):
    """(type, start, length) of a lock that keeps a whole-file write lock from us."""
    command = getattr(fcntl, "F_OFD_GETLK", fcntl.F_GETLK)
    answer = fcntl.fcntl(fd, command, _lock_request(fcntl.F_WRLCK))
    lock_type, _, start, length, _ = struct.unpack(_FLOCK, answer)
    return lock_type, start, length


def _is_sweep_lock(lock):
    return lock == (fcntl.F_WRLCK, 1, 1)


def _lock_is_held(lock_path):
    """True while a server holds the name's lock."""
    try:
        fd = os.open(lock_path, os.O_RDONLY | os.O_CLOEXEC | os.O_NOFOLLOW)
    except OSError:
        return False
    try:
        lock = _conflicting_lock(fd)
        return lock[0] != fcntl.F_UNLCK and not _is_sweep_lock(lock)
    except OSError:
        return False
    finally:
        os.close(fd)


def _still_named_by(fd, path):
    """The lock only counts on the file that the path names now."""
    try:
        opened, named = os.fstat(fd), os.stat(path)
    except OSError:
        return False
    return (opened.st_dev, opened.st_ino) == (named.st_dev, named.st_ino)


def _take_lock(lock_path, pipe_name):
    """An open-file-description write lock over the whole lock file (a classic one where the system
    has none); ERROR_PIPE_BUSY while another server holds it."""
    for _ in range(_SWEEP_WAITS):
        fd = os.open(lock_path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC | os.O_NOFOLLOW, 0o600)
        try:
            if hasattr(fcntl, "F_OFD_SETLK"):
                fcntl.fcntl(fd, fcntl.F_OFD_SETLK, _lock_request(fcntl.F_WRLCK))
            else:
                fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError as error:
            swept = error.errno in (errno.EAGAIN, errno.EACCES) and _only_a_sweeper_holds(fd)
            os.close(fd)
            if error.errno not in (errno.EAGAIN, errno.EACCES):
                raise
            if swept:
                time.sleep(_SWEEP_PAUSE)
                continue
            raise PipeError(ERROR_PIPE_BUSY, "another server has the name", pipe_name) from None
        if _still_named_by(fd, lock_path):
            return fd
        os.close(fd)
    raise PipeError(ERROR_PIPE_BUSY, "another server has the name", pipe_name)


def _only_a_sweeper_holds(fd):
    try:
        lock = _conflicting_lock(fd)
    except OSError:
        return False
    return lock[0] == fcntl.F_UNLCK or _is_sweep_lock(lock)


def _something_answers(socket_path):
    """Whether something listens on the socket file; a listener sees a client that leaves at once."""
    probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        probe.setblocking(False)
        probe.connect(socket_path)
        return True
    except (ConnectionRefusedError, FileNotFoundError):
        return False
    except (BlockingIOError, InterruptedError):
        # A listener whose queue of clients is full.
        return True
    except OSError:
        # What cannot be told is taken as live.
        return True
    finally:
        probe.close()


def _peer_is_same_user(connection):
    credentials = connection.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, struct.calcsize("3i"))
    _, uid, _ = struct.unpack("3i", credentials)
    return uid == os.geteuid()


def _shut_unused_directions(connection, reads, writes):
    if reads and writes:
        return
    connection.shutdown(socket.SHUT_WR if reads else socket.SHUT_RD if writes else socket.SHUT_RDWR)


def _socket_mode(reads, writes):
    """The owner bits tell clients what the server does: w always (connecting needs it), r when it
    writes (clients may read), x when it reads (clients may write)."""
    return stat.S_IWUSR | (stat.S_IRUSR if writes else 0) | (stat.S_IXUSR if reads else 0)


class _PipeEnd:
    """What both ends share once connected: the transfers, and closing."""

    def __init__(self, pipe_name, reads, writes):
        if not reads and not writes:
            raise ValueError("a pipe end reads, writes, or both")
        self.pipe_name = pipe_name
        self.reads = reads
        self.writes = writes
        self._connection = None

    def _connected(self):
        if self._connection is None:
            raise OSError(errno.ENOTCONN, "the pipe has no peer yet")
        return self._connection

    def fileno(self):
        return self._connected().fileno()

    def sendall(self, data):
        """Writes every byte; BrokenPipeError when the other end has gone."""
        self._connected().sendall(data)

    def recv(self, size):
        """Up to size bytes as they come; b"" once the other end has closed."""
        return self._connected().recv(size)

    def recv_exact(self, size):
        """Exactly size bytes; b"" when the other end closed before the first of them; EOFError
        when it closed part-way."""
        buffer = bytearray(size)
        view = memoryview(buffer)
        got = 0
        connection = self._connected()
        while got < size:
            count = connection.recv_into(view[got:])
            if count == 0:
                if got == 0:
                    return b""
                raise EOFError("the other end closed after %d of %d bytes" % (got, size))
            got += count
        return bytes(buffer)

    def _close_connection(self):
        if self._connection is not None:
            try:
                self._connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._connection.close()
            self._connection = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()


class PipeServer(_PipeEnd):
    """The server end of a pipe: reads (clients may write), writes (clients may read), or both.

    Making it takes the name, or raises PipeError: ERROR_PIPE_BUSY while another server has the
    name or something else listens on its socket, ERROR_ACCESS_DENIED when the pipe directory is not
    private. Clients may connect from then on; accept() takes the one client."""

    def __init__(self, pipe_name, reads=True, writes=True):
        super().__init__(pipe_name, reads, writes)
        self._paths = _paths(pipe_name)
        self._listener = None
        self._lock_fd = None
        self._socket_file = False
        _make_directory(self._paths.directory)
        _check_private(self._paths.directory, pipe_name)
        _make_directory(self._paths.lock_directory)
        self._lock_fd = _take_lock(self._paths.lock, pipe_name)
        try:
            self._listen()
        except BaseException:
            self.close()
            raise

    def _listen(self):
        self._claim_socket_file()
        self._listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            self._listener.bind(self._paths.socket)
        except OSError as error:
            if error.errno == errno.EADDRINUSE:
                raise PipeError(ERROR_PIPE_BUSY, "another program bound the name", self.pipe_name) from None
            raise
        self._socket_file = True
        os.chmod(self._paths.socket, _socket_mode(self.reads, self.writes))
        # A backlog of 0 holds one client: the one instance.
        self._listener.listen(0)

    def _claim_socket_file(self):
        """With the lock held: a socket file that nothing answers on is replaced; one that something
        listens on (a program that holds no lock) keeps the name busy."""
        try:
            status = os.lstat(self._paths.socket)
        except FileNotFoundError:
            return
        if stat.S_ISSOCK(status.st_mode) and _something_answers(self._paths.socket):
            raise PipeError(ERROR_PIPE_BUSY, "something listens on the name's socket", self.pipe_name)
        try:
            os.unlink(self._paths.socket)
        except FileNotFoundError:
            pass

    @property
    def socket_path(self):
        return os.fsdecode(self._paths.socket)

    def accept(self, timeout=None):
        """Waits for the client (at most timeout seconds, then TimeoutError) and takes it; clients
        of another user are dropped. Later clients are refused, and see the name busy."""
        if self._connection is not None:
            return
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            self._listener.settimeout(None if deadline is None else max(0.0, deadline - time.monotonic()))
            try:
                connection, _ = self._listener.accept()
            except socket.timeout:
                raise TimeoutError("no client came to %s" % self.pipe_name) from None
            if _peer_is_same_user(connection):
                break
            connection.close()
        connection.settimeout(None)
        _shut_unused_directions(connection, self.reads, self.writes)
        self._connection = connection
        self._listener.close()
        self._listener = None

    def close(self):
        """Closes the connection, removes the socket file, then the lock file, then lets the lock go."""
        self._close_connection()
        if self._listener is not None:
            self._listener.close()
            self._listener = None
        if self._socket_file:
            self._socket_file = False
            try:
                os.unlink(self._paths.socket)
            except FileNotFoundError:
                pass
        if self._lock_fd is not None:
            try:
                os.unlink(self._paths.lock)
            except FileNotFoundError:
                pass
            os.close(self._lock_fd)
            self._lock_fd = None


class PipeClient(_PipeEnd):
    """The client end of a pipe: reads what the server writes, writes what it reads, or both.

    Raises PipeError as the library refuses its own clients: ERROR_FILE_NOT_FOUND when no server
    has the name, ERROR_ACCESS_DENIED when the server does not offer the directions asked for or
    runs as another user, ERROR_PIPE_BUSY when the server has its client."""

    def __init__(self, pipe_name, reads=True, writes=True):
        super().__init__(pipe_name, reads, writes)
        paths = _paths(pipe_name)
        _check_private(paths.directory, pipe_name)
        self._check_access(paths.socket)
        connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            self._connect(connection, paths)
            if not _peer_is_same_user(connection):
                raise PipeError(ERROR_ACCESS_DENIED, "the server runs as another user", pipe_name)
            _shut_unused_directions(connection, reads, writes)
        except BaseException:
            connection.close()
            raise
        connection.setblocking(True)
        self._connection = connection

    def _check_access(self, socket_path):
        try:
            status = os.stat(socket_path)
        except FileNotFoundError:
            raise PipeError(ERROR_FILE_NOT_FOUND, "no server has the name", self.pipe_name) from None
        if not stat.S_ISSOCK(status.st_mode):
            raise PipeError(ERROR_FILE_NOT_FOUND, "no server has the name", self.pipe_name)
        may_read = bool(status.st_mode & stat.S_IRUSR)
        may_write = bool(status.st_mode & stat.S_IXUSR)
        if (self.reads and not may_read) or (self.writes and not may_write):
            raise PipeError(ERROR_ACCESS_DENIED, "the server does not offer that direction", self.pipe_name)

    def _connect(self, connection, paths):
        # Without blocking: a full queue means the one instance already has a client waiting.
        connection.setblocking(False)
        try:
            connection.connect(paths.socket)
        except (BlockingIOError, InterruptedError):
            raise PipeError(ERROR_PIPE_BUSY, "the pipe has its client", self.pipe_name) from None
        except ConnectionRefusedError:
            # Refused by a live server whose instance is taken, or left by a server that died.
            if _lock_is_held(paths.lock):
                raise PipeError(ERROR_PIPE_BUSY, "the pipe has its client", self.pipe_name) from None
            raise PipeError(ERROR_FILE_NOT_FOUND, "no server has the name", self.pipe_name) from None
        except FileNotFoundError:
            raise PipeError(ERROR_FILE_NOT_FOUND, "no server has the name", self.pipe_name) from None

    def close(self):
        self._close_connection()


class Channel:
    """The library's channel frames over a pipe end: each frame is its length as 8 little-endian
    bytes, then its bytes; a length of 0 is the end marker."""

    def __init__(self, end):
        self._end = end
        self._marker_sent = False
        self._ended = False
        # After recv() has returned None: True when the end marker came, False when the other end
        # closed without one.
        self.ended_by_marker = None

    def send(self, data):
        """Sends one frame. An empty frame would be the end marker, which close() sends."""
        view = memoryview(data).cast("B")
        if len(view) == 0:
            raise ValueError("an empty frame is the end marker: close() sends it")
        self._end.sendall(_FRAME_LENGTH.pack(len(view)))
        self._end.sendall(view)

    def recv(self):
        """The next frame's bytes; None at the end marker, or when the other end has closed at a
        frame's boundary; EOFError when it closed in the middle of a frame."""
        if self._ended:
            return None
        header = self._end.recv_exact(_FRAME_LENGTH.size)
        if not header:
            return self._end_of_frames(False)
        (length,) = _FRAME_LENGTH.unpack(header)
        if length == 0:
            return self._end_of_frames(True)
        payload = self._end.recv_exact(length)
        if not payload:
            raise EOFError("the other end closed before the frame's bytes")
        return payload

    def _end_of_frames(self, by_marker):
        self._ended = True
        self.ended_by_marker = by_marker
        return None

    def send_end_marker(self):
        """Sends the end marker once; the pipe stays open."""
        if not self._marker_sent:
            self._marker_sent = True
            self._end.sendall(_FRAME_LENGTH.pack(0))

    def close(self):
        """Sends the end marker (when the end writes and the other end still reads), then closes the end."""
        try:
            if self._end.writes:
                self.send_end_marker()
        except OSError:
            pass
        finally:
            self._end.close()

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
