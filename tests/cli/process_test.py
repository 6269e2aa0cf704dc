# zelioctl as a process in pipes and scripts: process_test.py ZELIOCTL (in a scratch folder)
import os, resource, subprocess, sys

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
# A log that may not grow past the size limit (ulimit -f): the row that does not fit is cut back,
# and the next run's row starts on a line of its own.
provision = [zelioctl, "--emulate=process_test.state", "provision", "process_test.kbd", "--log", "process_test.csv",
             "--timeout", "5", "--count"]
for name in ("process_test.state", "process_test.csv"):
    if os.path.exists(name): os.remove(name)
run = subprocess.run(provision + ["2"], capture_output=True,
                     preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (130, 130)))
assert run.returncode == 1 and b"the row: " in run.stderr, run
assert subprocess.run(provision + ["1"], capture_output=True).returncode == 0
with open("process_test.csv", "rb") as log:
    rows = log.read().split(b"\r\n")
assert len(rows) == 4 and rows[-1] == b"" and all(row.count(b",") == 5 for row in rows[:-1]), rows
print("2 passed, 0 failed")
