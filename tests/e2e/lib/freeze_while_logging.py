#!/usr/bin/env python3
"""Freezes a running Scourix (SIGSTOP) the moment its log file shows that the
run has begun its lines ("[Log]") and has not yet reached its result
("[Result]"): a run caught in the middle of its walk, holding its lock.

    freeze_while_logging.py PID LOGFILE SECONDS

Exit status 0: frozen in the middle of the run. 1: the run ended, or never
began its log, before it could be caught (the caller may start another).
The file is read every millisecond: a silent walk of a few thousand files
takes a tenth of a second, far too short for a shell's polling.
"""
import os
import signal
import sys
import time


def lines_of(path):
    try:
        with open(path, "rb") as log:
            return log.read().replace(b"\r", b"").split(b"\n")
    except FileNotFoundError:
        return []


def main():
    pid, path, seconds = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if b"[Log]" in lines_of(path):
            try:
                os.kill(pid, signal.SIGSTOP)
            except ProcessLookupError:
                return 1
            # The result may have been written between the two reads.
            return 1 if b"[Result]" in lines_of(path) else 0
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return 1
        time.sleep(0.001)
    return 1


if __name__ == "__main__":
    sys.exit(main())
