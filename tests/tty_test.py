#!/usr/bin/env python3
"""A terminal is read line by line: a construction on a typed line is
converted (here: its diagnostic appears) as soon as the line ends, before the
input does."""
import os, pty, select, subprocess, sys, time

tvconv = sys.argv[1]
master, slave = pty.openpty()
proc = subprocess.Popen([tvconv], stdin=slave, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
os.close(slave)

def read_err(timeout):
    ready, _, _ = select.select([proc.stderr], [], [], timeout)
    return os.read(proc.stderr.fileno(), 4096) if ready else b""

os.write(master, b"^macro_new[font;x]\n")
os.write(master, b"more\n")
# The input is still open: a reader waiting for a full block would not have
# converted anything yet.
got = read_err(10)
expected = (b"Unconvertible form of 'macro_new' operator (line 1): use font method of "
            b"image class; remarked, edit manually\n")
ok = got == expected
os.write(master, b"\x04")  # end of input
out, err = proc.communicate(timeout=10)
ok = ok and proc.returncode == 0 and out == b"^rem{^macro_new[font;x]}\nmore\n"
print("1 passed, 0 failed" if ok else "0 passed, 1 failed: got %r / %r / %r" % (got, out, proc.returncode))
sys.exit(0 if ok else 1)
