#!/usr/bin/env python3
"""One instance at a time: a second start ends at once with status 0 and says nothing, the first
goes on; after the first is killed, a new start runs.

usage: single_instance.py GEODOT
"""
import os
import signal
import subprocess
import sys
import tempfile
import time


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def main():
    geodot = sys.argv[1]
    with tempfile.TemporaryDirectory() as runtime, tempfile.TemporaryDirectory() as config:
        os.chmod(runtime, 0o700)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=config,
                   QT_QPA_PLATFORM="offscreen")
        locked = lambda: any(name.endswith(".lock") for name in os.listdir(runtime))

        def start():
            return subprocess.Popen([geodot], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)

        first = start()
        assert wait_for(locked, 30), "the first instance made no lock"

        began = time.monotonic()
        second = subprocess.run([geodot], env=env, capture_output=True, timeout=30)
        took = time.monotonic() - began
        assert second.returncode == 0, f"second start ended with {second.returncode}"
        assert second.stdout == b"" and second.stderr == b"", "the second start said something"
        assert took < 5, f"the second start took {took:.1f} s"
        assert first.poll() is None, "the first instance was disturbed"

        first.send_signal(signal.SIGKILL)
        first.wait()
        assert locked(), "a killed instance leaves its lock behind"

        third = start()
        # It takes the stale lock over and keeps running.
        time.sleep(3)
        assert third.poll() is None, "a start after a crash did not run"
        with open(next(os.path.join(runtime, n) for n in os.listdir(runtime)
                       if n.endswith(".lock"))) as lock:
            assert lock.readline().strip() == str(third.pid), "the lock is not the new instance's"
        third.terminate()
        third.wait(timeout=30)
    print("single instance: ok")


if __name__ == "__main__":
    main()
