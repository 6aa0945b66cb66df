#!/usr/bin/env python3
"""Writes terminal_keys.txt: the keys the terminfo entries of common terminals describe, as the bytes each
terminal sends, for the decoder test. Run once where the entries are installed (Debian: ncurses-base and
ncurses-term); the tests read the file, never terminfo.

    python3 tests/data/make_terminal_keys.py > tests/data/terminal_keys.txt
"""

import subprocess
import sys

TERMS = ['xterm', 'xterm-256color', 'screen', 'tmux-256color', 'rxvt-unicode', 'linux', 'vt220', 'st',
         'alacritty', 'konsole', 'vte', 'putty']

# Plain keys, then the shifted (no suffix, or kri/kind), alt (3) and controlled (5) forms where an entry
# defines them; F1-F12 and the function keys beyond, which entries give to shifted and controlled F-keys.
MOVES = ['UP', 'DN', 'LFT', 'RIT', 'HOM', 'END', 'IC', 'DC', 'PRV', 'NXT']
CAPS = (['kcuu1', 'kcud1', 'kcub1', 'kcuf1', 'khome', 'kend', 'kich1', 'kdch1', 'kpp', 'knp', 'kri', 'kind'] +
        ['k' + m + s for s in ('', '3', '5') for m in MOVES] + ['kf%d' % i for i in range(1, 37)])


def encode(seq):
    out = ''
    for b in seq:
        if b == 0x1b:
            out += '\\e'
        elif b == ord('\\'):
            out += '\\\\'
        elif 0x21 <= b <= 0x7e:
            out += chr(b)
        else:
            out += '\\x%02x' % b
    return out


def one(term):
    import curses
    curses.setupterm(term, sys.stdout.fileno())
    for cap in CAPS:
        seq = curses.tigetstr(cap)
        if seq:
            print(term, cap, encode(seq))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == '--one':
        one(sys.argv[2])
        return
    print('# Keys described by terminfo, one per line: terminal, capability, the bytes sent (\\e is ESC).')
    print('# Made by tests/data/make_terminal_keys.py from ncurses terminfo; see that script to make it again.')
    sys.stdout.flush()
    for term in TERMS:
        # curses reads one terminal description per process
        subprocess.run([sys.executable, __file__, '--one', term], check=True)


if __name__ == '__main__':
    main()
