"""Test support: a private namespace and directories per test process, the
real server started from the build tree, and polling on a condition."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

PATIENCE = 20.0  # seconds; a bound for "eventually", never a speed requirement
HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE_DIR = os.path.dirname(HERE)
BIN_DIR = os.environ.get("VANTOR_BIN_DIR",
                         os.path.join(os.path.dirname(PACKAGE_DIR), "build", "default", "bin"))


def eventually(cond, timeout=PATIENCE):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if cond():
            return True
        time.sleep(0.01)
    return bool(cond())


def isolate():
    """A namespace and configuration, crash and temporary directories of this
    process, inherited by every server and tool it starts. Returns a cleanup."""
    ns = f"vp{os.getpid()}_"
    root = tempfile.mkdtemp(prefix="vantor-py-")
    os.environ["VANTOR_IPC_NAMESPACE"] = ns
    for name in ("config", "crash"):
        os.makedirs(os.path.join(root, name))
    os.environ["VANTOR_CONFIG_DIR"] = os.path.join(root, "config")
    os.environ["VANTOR_CRASH_DIR"] = os.path.join(root, "crash")
    os.environ["PYTHONPATH"] = PACKAGE_DIR

    def cleanup():
        from vantor.shm import runtime_dir
        for d in ("/dev/shm", runtime_dir()):
            for entry in os.listdir(d) if os.path.isdir(d) else []:
                if entry.startswith(ns):
                    os.unlink(os.path.join(d, entry))
        shutil.rmtree(root, ignore_errors=True)
    return cleanup


def run(program, *args, timeout=PATIENCE):
    """Runs a program of the build tree ("vantorctl") or the package
    ("python3 -m vantor" for program "vantor.py") to its end."""
    argv = ([sys.executable, "-m", "vantor"] if program == "vantor.py"
            else [os.path.join(BIN_DIR, program)])
    return subprocess.run(argv + list(args), capture_output=True, text=True, timeout=timeout)


def _ports_free(ports):
    for port in ports:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                return False
    return True


class Server:
    """The real server, headless on the simulated board, until stop()."""

    def __init__(self):
        if not eventually(lambda: _ports_free([8998, 9898, 9000])):
            raise RuntimeError("the link's fixed ports stay taken")
        self._err = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([os.path.join(BIN_DIR, "vantor"), "--headless"],
                                        stdout=subprocess.DEVNULL, stderr=self._err)
        if not eventually(lambda: "peers: none" in self.stderr() or
                          self.process.poll() is not None):
            self.stop()
            raise RuntimeError("the server did not start:\n" + self.stderr())
        if self.process.poll() is not None:
            raise RuntimeError("the server ended at start:\n" + self.stderr())

    def stderr(self):
        self._err.seek(0)
        return self._err.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(PATIENCE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._err.close()
        return self.process.returncode
