# zelioctl as a process in pipes and scripts: process_test.py ZELIOCTL (in a scratch folder)
import os, subprocess, sys

zelioctl = sys.argv[1]
# A reader that went away before the output: exit 1 with a message, not death by SIGPIPE.
reader, writer = os.pipe()
os.close(reader)
run = subprocess.run([zelioctl, "--emulate", "list"], stdout=writer, stderr=subprocess.PIPE)
assert run.returncode == 1 and b"output could not be written" in run.stderr, run
# Closed standard descriptors: the output goes nowhere, the saved file holds only its line.
for closed in [(1,), (0, 1, 2)]:
    run = subprocess.run([zelioctl, "save", "process_test.kbd", "283", "40", "C0", "01"],
                         preexec_fn=lambda: [os.close(fd) for fd in closed])
    with open("process_test.kbd", "rb") as saved:
        assert run.returncode == 0 and saved.read() == b"0283 40 C0 01\r\n", (closed, run)
print("1 passed, 0 failed")
