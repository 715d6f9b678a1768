"""Child interpreters for tests of calls that might not return, or that
need a fresh process (the default engine, signals, resident size).

`run_python` runs a script once; a `Child` is a persistent interpreter that
serves one request per line and answers one line each; `ask`
waits for the answer at most `timeout` seconds, and a child that has not
answered by then is killed, so a hang fails the test that asked instead of
stopping the whole run.  The next `ask` starts a fresh child.
"""
import os
import pathlib
import selectors
import subprocess
import sys
import sysconfig
import time

TESTS = pathlib.Path(__file__).resolve().parents[1]


def module_dir():
    """The folder the imported distmill comes from."""
    import distmill
    return pathlib.Path(distmill.__file__).resolve().parent


def child_env():
    """This environment, with the same distmill and tests/ first on the path."""
    env = dict(os.environ)
    path = [str(module_dir()), str(TESTS)]
    if env.get("PYTHONPATH"):
        path.append(env["PYTHONPATH"])
    env["PYTHONPATH"] = os.pathsep.join(path)
    return env


def run_python(code, timeout=60, input=None, env=None):
    """stdout of `code` run by a fresh interpreter; a failure or a run
    longer than `timeout` seconds fails the caller."""
    try:
        proc = subprocess.run([sys.executable, "-c", code], input=input, capture_output=True, text=True,
                              env=child_env() if env is None else env, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise AssertionError(f"the child did not finish within {timeout} s") from None
    assert proc.returncode == 0, proc.stderr[-3000:]
    return proc.stdout


LANE_ORDER = ["scalar", "sse2", "avx2", "avx512"]


def widest_lanes():
    """The widest lanes the processor runs (a name of LANE_ORDER): asked for
    AVX-512, the module takes it where the processor has it and its default
    (the widest up to AVX2) elsewhere."""
    env = dict(child_env(), DISTMILL_LANES="avx512")
    return run_python("import distmill; print(distmill.__lanes__)", env=env).strip()


def installed_root():
    """The site folder distmill was imported from, or None when it comes
    from a build tree on the path."""
    here = module_dir()
    sites = {pathlib.Path(sysconfig.get_paths()[k]).resolve() for k in ("purelib", "platlib")}
    return here if here in sites or here.name in ("site-packages", "dist-packages") else None


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
