"""zelioctl as a process in pipes and scripts: process_test.py ZELIOCTL"""
import os
import subprocess
import sys
import tempfile

zelioctl = sys.argv[1]

# A reader that went away before the output: exit 1 with a message, not death by SIGPIPE.
reader, writer = os.pipe()
os.close(reader)
run = subprocess.run([zelioctl, "--emulate", "list"], stdout=writer, stderr=subprocess.PIPE)
os.close(writer)
assert run.returncode == 1 and b"output could not be written" in run.stderr, run

# Closed standard descriptors: the output goes nowhere, the saved file holds only its line.
with tempfile.TemporaryDirectory() as folder:
    path = os.path.join(folder, "board.kbd")
    for closed in [(1,), (0, 1, 2)]:
        run = subprocess.run([zelioctl, "save", path, "283", "40", "C0", "01"],
                             preexec_fn=lambda: [os.close(fd) for fd in closed])
        with open(path, "rb") as saved:
            assert run.returncode == 0 and saved.read() == b"0283 40 C0 01\r\n", (closed, run)
print("1 passed, 0 failed")
