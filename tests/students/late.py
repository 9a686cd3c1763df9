#!/usr/bin/env python3
"""A student's dialogue that asks too late: PROGRAM's own output and answers, but
answer N is read before what PROGRAM writes ahead of it is shown (N = 0: every answer
is read before anything is shown). Given at once, its input gives the right output;
typed at a terminal, the prompt of answer N is not there when it waits."""
import os
import subprocess
import sys
import threading

late, program = int(sys.argv[1]), sys.argv[2]
held = [late <= 1]  # shown only once answer N is read
waiting = []
guard = threading.Lock()
child = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE)


def show():
    with guard:
        if not held[0] and waiting:
            os.write(1, b"".join(waiting))
            waiting.clear()


def copy():
    while chunk := os.read(child.stdout.fileno(), 65536):
        with guard:
            waiting.append(chunk)
        show()


copier = threading.Thread(target=copy)
copier.start()
number = 0
while line := sys.stdin.buffer.readline():
    number += 1
    if number == late:
        held[0] = False
        show()
    if number + 1 == late:
        held[0] = True  # before the program can write what comes before answer N
    try:
        child.stdin.write(line)
        child.stdin.flush()
    except BrokenPipeError:
        break
try:
    child.stdin.close()
except BrokenPipeError:
    pass
copier.join()
child.wait()
held[0] = False
show()
