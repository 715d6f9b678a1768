"""A persistent child interpreter for tests of calls that might not return.

The child serves one request per line and answers one line each; `ask`
waits for the answer at most `timeout` seconds, and a child that has not
answered by then is killed, so a hang fails the test that asked instead of
stopping the whole run.  The next `ask` starts a fresh child.
"""
import os
import pathlib
import selectors
import subprocess
import sys
import time

TESTS = pathlib.Path(__file__).resolve().parent


def child_env():
    # The child imports the same distmill as this process.
    import distmill
    env = dict(os.environ)
    path = [str(pathlib.Path(distmill.__file__).resolve().parent), str(TESTS)]
    if env.get("PYTHONPATH"):
        path.append(env["PYTHONPATH"])
    env["PYTHONPATH"] = os.pathsep.join(path)
    return env


class Child:
    def __init__(self, script):
        self.script = script
        self.proc = None

    def _start(self, timeout):
        self.proc = subprocess.Popen([sys.executable, "-u", str(TESTS / self.script)], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=child_env())
        self.sel = selectors.DefaultSelector()
        self.sel.register(self.proc.stdout, selectors.EVENT_READ)
        assert self._readline(timeout) == "ready"

    def _readline(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not self.sel.select(left):
                self.close()
                raise TimeoutError(f"no answer within {timeout} s")
            line = self.proc.stdout.readline()
            if not line:
                err = self.proc.stderr.read()
                self.close()
                raise RuntimeError(f"child died:\n{err[-3000:]}")
            return line.strip()

    def ask(self, request, timeout):
        if self.proc is None:
            self._start(30)
        self.proc.stdin.write(request + "\n")
        self.proc.stdin.flush()
        return self._readline(timeout)

    def close(self):
        if self.proc is not None:
            self.proc.kill()
            self.proc.wait()
            self.proc = None
