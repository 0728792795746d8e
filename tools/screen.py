#!/usr/bin/env python3
"""Renders what a terminal shows after a typescript written by script(1): the text, carriage
returns, line feeds, cursor up (ESC [ n A), erase to the end of the line (ESC [ K) and of the
screen (ESC [ J), the moves the dialogs and the wait window use.

Usage: tools/screen.py TYPESCRIPT [TEXT...]
Without TEXT it prints the final screen. With TEXTs it prints the screen as it was the last time
a redraw had just shown all of them, which is how a picture of the wait window is taken while it
is up."""
import re
import sys


def frames(data):
    rows, row, col = [[]], 0, 0
    i = 0
    while i < len(data):
        c = data[i]
        if c == "\r":
            col = 0
        elif c == "\n":
            row += 1
            if row == len(rows):
                rows.append([])
        elif c == "\x1b":
            m = re.match(r"\x1b\[(\d*)([A-Za-z])", data[i:])
            if m:
                n, cmd = int(m.group(1) or 1), m.group(2)
                if cmd == "A":
                    row = max(0, row - n)
                elif cmd in "KJ":
                    del rows[row][col:]
                    if cmd == "J":
                        del rows[row + 1:]
                        yield ["".join(r) for r in rows]
                i += len(m.group(0))
                continue
        elif c >= " ":
            line = rows[row]
            line.extend(" " * (col - len(line)))
            if col < len(line):
                line[col] = c
            else:
                line.append(c)
            col += 1
        i += 1
    yield ["".join(r) for r in rows]


def main():
    data = open(sys.argv[1], encoding="utf-8", errors="replace", newline="").read()
    # script(1) frames the session with lines of its own.
    data = re.sub(r"^Script started.*?\r?\n", "", data)
    data = re.sub(r"\n?Script done.*$", "", data, flags=re.S)
    shots = list(frames(data))
    wanted = sys.argv[2:]
    shots = [s for s in shots if all(any(w in line for line in s) for w in wanted)]
    if not shots:
        sys.exit("never shown together: " + ", ".join(wanted))
    screen = shots[-1]
    while screen and not screen[-1].strip():
        screen.pop()
    print("\n".join(line.rstrip() for line in screen))


if __name__ == "__main__":
    main()
