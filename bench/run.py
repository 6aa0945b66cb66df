#!/usr/bin/env python3
"""zt against its peers and the machine's limits, side by side in one run.

Every editor runs in its own 80x24 pseudo-terminal on generated files. A figure is taken when the editor has
"settled": it sleeps in a read or poll of its terminal (from /proc/PID/stat and /proc/PID/syscall), nothing it
wrote is left unread on the master and nothing we sent is left unread on the slave, two checks in a row.

    python3 bench/run.py [--build DIR] [--data DIR] [--big] [--only zt,vim,...] [--quick]

The table goes to standard output and, as Markdown, to DATA/results.md; a chart of it to DATA/chart.svg (and, after
a full run, to doc/bench.svg) by chart.py. Each figure that can silently fail is checked: the search must show the
last line (for zt, the status line must name it), the save must have written the file with the change, a paced key
must show in its line under the cursor, a deleted character must be gone from the screen, and zt's screen as the
terminal model draws it must be the window the status line names.
The driver's own tests: python3 -m unittest discover bench
"""

import argparse
import fcntl
import gc
import json
import os
import random
import re
import select
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import termios
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import termmodel  # noqa: E402

ROWS, COLS = 24, 80
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# The words the searches look for. The generator's vocabulary has no word containing either (checked when the files
# are made), and words are separated by spaces, so a search for UNIQUE, with or without case, matches the last line
# of a big file only, and one for MIDDLE the line nearest its middle only.
UNIQUE = 'quixotically'
MIDDLE = 'mezzanine'
PACED = 15  # keys timed one by one in each session of the paced-key figures, and of each key on hard text
MIDDLE_LINE = f'the middle line holds the word {MIDDLE} and nothing else'
LAST_LINE = f'the very last line holds the word {UNIQUE} and nothing else'
VOCAB = ('the of and to in is was for on that with as by at from his her an are be this which or had it not but '
         'have were they one all their been has more when who will would there can no if so out up into time only '
         'other new some could these two may first then do any like my now over such our man me even most made after '
         'also did many before must through back years where much your way well down should because each just those '
         'people how too little state good very make world still own see men work long get here between both life '
         'being under never day same another know while last might us great old year off come since against go came '
         'right used take three states himself few house use during without again place american around however home '
         'small found thought went say part once general high upon school every does got united left number course '
         'war until always away something fact though water less public put think almost hand enough far took head '
         'yet government system better set told nothing night end why called eyes find going look asked later knew '
         'point next city business give group toward young days let room president side social given present several '
         'order national possible rather second face per among form important often things looked early white case '
         'john become large big need four within felt along children saw best church ever least power development '
         'light thing seemed family interest want members mind country area others done turned although open god '
         'service problem certain kind different thus began door help means sense whole matter perhaps itself york '
         'times law human line above name example action company hands local show whether five history gave today '
         'either act feet across taken past quite anything seen having death experience body word half really week '
         'field words already information tell together college shall money period held keep sure free seems real '
         'behind cannot miss political air question office making brought whose special heard major problems ago '
         'became federal moment study available known result street economic boy position reason change south board '
         'individual job areas society west close turn love community true court force full seem am age voice').split()

TYPED = ('etaoinshrdlucmfwyp' * 60)[:1000]  # the 1,000 characters; letters only, so no editor wraps or indents


# --- files ------------------------------------------------------------------------------------------------------

def word_lines(rng, count, lo, hi):
    """`count` lines of words, each between lo and hi bytes long (line feed not counted)."""
    out = []
    for _ in range(count):
        target = rng.randint(lo, hi)
        words, n = [], 0
        while n < target:
            w = rng.choice(VOCAB)
            words.append(w)
            n += len(w) + 1
        out.append(' '.join(words)[:max(target, 1)].rstrip() + '\n')
    return out


def make_files(data, big):
    # words only ever stand apart, so a search word could only appear inside one of them
    for word in (UNIQUE, MIDDLE):
        if any(word in w.lower() for w in VOCAB + (MIDDLE_LINE + ' ' + LAST_LINE).replace(word, '').split()):
            sys.exit(f'the text holds {word} elsewhere: its search would not go to its one line only')
    os.makedirs(data, exist_ok=True)
    meta_path = os.path.join(data, 'files.json')
    meta = json.load(open(meta_path)) if os.path.exists(meta_path) else {}

    def want(name):
        path = os.path.join(data, name)
        made = name in meta and ('middle' in meta[name] or not name.startswith('big'))  # big files: with the marker
        return not (os.path.exists(path) and made and os.path.getsize(path) == meta[name]['size'])

    if want('small.txt'):
        text = ''.join(word_lines(random.Random(2), 200, 10, 60))[:2048]
        text = text[:text.rindex('\n') + 1]
        write_file(data, 'small.txt', text.encode(), meta)
    if want('lines1000.txt'):
        write_file(data, 'lines1000.txt', ''.join(word_lines(random.Random(1000), 1000, 0, 76)).encode(), meta)
    for name, mb in (('big100.txt', 100), ('big1000.txt', 1000)):
        if name == 'big1000.txt' and not big:
            continue
        if want(name):
            print(f'making {name} ({mb} MB of ~70-byte lines)...', flush=True)
            path = os.path.join(data, name)
            lines, middle = write_big(path, mb * 1000 * 1000)
            meta[name] = {'size': os.path.getsize(path), 'lines': lines, 'middle': middle}
    if want('line20m.txt'):
        rng2 = random.Random(20)
        words = ' '.join(rng2.choice(VOCAB) for _ in range(4000000))
        write_file(data, 'line20m.txt', (words[:20 * 1000 * 1000 - 1] + '\n').encode(), meta)
    for name, content in char_files().items():
        if want(name):
            write_file(data, name, content, meta)
    json.dump(meta, open(meta_path, 'w'))
    return meta


def char_files():
    """Text that is hard to show as characters: each is opened in a UTF-8 locale and in the C locale."""
    rng = random.Random(11)
    cjk = ''.join(chr(rng.randint(0x4E00, 0x9FFF)) for _ in range(350000)).encode()
    bad = (b'\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x28\x8c\xbc\xed\xa0\x80\xc0\xaf\xe6\x97'
           b'\xf4\x90\x80\x80\xc2\x85 ')
    return {
        'random1m.bin': bytes(rng.getrandbits(8) for _ in range(1 << 20)),
        'cjk1m.txt': cjk + b'\n' + b'after the long line\n',
        'marks10k.txt': b'a' + '\u0301'.encode() * 10000 + b'z\nlast line\n',
        'invalid.txt': b''.join(bad * 8 + b'\n' for _ in range(2000)),
    }


def write_big(path, size):
    """About `size` bytes of ~70-byte lines of words, the line nearest the middle holding MIDDLE and the last one
    UNIQUE; returns the number of lines and the number of the middle one."""
    block = ''.join(word_lines(random.Random(100), 14000, 60, 79)).encode()  # ~1 MB, repeated
    middle, last = (MIDDLE_LINE + '\n').encode(), (LAST_LINE + '\n').encode()
    lines = written = 0
    with open(path, 'wb') as f:
        def fill(upto):  # whole lines of the block up to byte `upto` of the file
            nonlocal lines, written
            while written < upto:
                left = upto - written
                chunk = block if left >= len(block) else block[:block.rfind(b'\n', 0, left) + 1]
                if not chunk:
                    break
                f.write(chunk)
                lines += chunk.count(b'\n')
                written += len(chunk)

        fill(size // 2)
        f.write(middle)
        written += len(middle)
        lines += 1
        at = lines
        fill(size - len(last))
        f.write(last)
    return lines + 1, at


def write_file(data, name, content, meta):
    with open(os.path.join(data, name), 'wb') as f:
        f.write(content)
    meta[name] = {'size': len(content), 'lines': content.count(b'\n')}


# --- editors ----------------------------------------------------------------------------------------------------

def editors(build):
    """Per editor: command line, Debian package, and its keys. `ins`/`esc` enter and leave typing for vi-style
    editors, `end_ins` after `end` (the end of the text); `delete` takes the character under the cursor (for vi-style
    editors outside typing); `search` takes the word; `quit` leaves, `discard` answers a question about unsaved
    changes."""
    keys = dict(down='\x1b[B', pgdn='\x1b[6~', ins='', esc='', end_ins='', delete='\x1b[3~')
    vi_keys = dict(keys, ins='i', esc='\x1b', end='G', end_ins='A', delete='x', search=lambda w: '/' + w + '\r',
                   save=':w\r', quit=':q!\r', discard='')
    return {
        'zt': dict(keys, cmd=[os.path.join(build, 'ztws')], pkg=None, end='\x11c',
                   search=lambda w: '\x11f' + w + '\r\r', save='\x0bs', quit='\x0bq', discard='n'),
        'nano': dict(keys, cmd=['nano'], pkg='nano', end='\x1b/', search=lambda w: '\x17' + w + '\r',
                     save='\x0f\r', quit='\x18', discard='n'),
        # on leaving, mg first offers to save the file (n), then asks whether to exit all the same
        'mg': dict(keys, cmd=['mg'], pkg='mg', end='\x1b>', search=lambda w: '\x1bs' + w + '\r',
                   save='\x18\x13', quit='\x18\x03', discard='nyes\r'),
        'busybox vi': dict(vi_keys, cmd=['busybox', 'vi'], pkg='busybox'),
        # -n: no swap file (it would add writes of its own to every figure); -i NONE: no history file
        'vim': dict(vi_keys, cmd=['vim', '-n', '-i', 'NONE'], pkg='vim'),
        'joe': dict(keys, cmd=['joe'], pkg='joe', end='\x0bv', search=lambda w: '\x0bf' + w + '\r\r',
                    save='\x0bd\r', quit='\x03', discard='y'),
        'jstar': dict(keys, cmd=['jstar'], pkg='joe', end='\x11c', search=lambda w: '\x11f' + w + '\r\r',
                      save='\x0bd\r', quit='\x0bq', discard='y'),
        'jpico': dict(keys, cmd=['jpico'], pkg='joe', end='\x17\x16', search=lambda w: '\x17' + w + '\r\r',
                      save='\x0f\r', quit='\x18', discard='n'),
    }


BIG_EDITORS = ('zt', 'nano', 'mg', 'busybox vi', 'vim', 'jstar')  # joe's three modes share one engine


def install_peers(eds):
    missing = sorted({e['pkg'] for e in eds.values() if e['pkg'] and not shutil.which(e['cmd'][0])})
    if missing:
        print('installing peers:', ' '.join(missing), flush=True)
        apt_install(missing)


def chart_python(install=True):
    """An interpreter that can draw the chart: this one, or the system's, which Debian's python3-matplotlib serves
    (installed here when neither has matplotlib); None when none can."""
    for py in dict.fromkeys([sys.executable, '/usr/bin/python3']):
        if os.access(py, os.X_OK) and subprocess.run([py, '-c', 'import matplotlib'],
                                                     capture_output=True).returncode == 0:
            return py
    if not install:
        return None
    print('installing python3-matplotlib for the chart', flush=True)
    apt_install(['python3-matplotlib'])
    return chart_python(False)


def apt_install(missing):
    env = dict(os.environ, DEBIAN_FRONTEND='noninteractive')
    r = subprocess.run(['apt-get', 'install', '-y'] + missing, env=env, capture_output=True, text=True)
    if r.returncode != 0:
        subprocess.run(['apt-get', 'update'], env=env, capture_output=True)
        r = subprocess.run(['apt-get', 'install', '-y'] + missing, env=env, capture_output=True, text=True)
    for line in r.stdout.splitlines():
        if line.startswith('E:') or line.startswith('Setting up') and line.split()[2].split(':')[0] in missing:
            print('  ' + line)
    if r.returncode != 0:
        print('  apt-get failed: ' + (r.stderr.strip().splitlines() or ['?'])[-1])


# --- a session: one editor in one pseudo-terminal ---------------------------------------------------------------

# system calls in which an editor waits for its terminal (x86_64): read, poll, select, epoll_wait, epoll_pwait,
# pselect6, ppoll
WAITING = {0, 7, 23, 232, 270, 271, 281}


class Timeout(Exception):
    pass


class Session:
    def __init__(self, argv, env, model=False):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack('HHHH', ROWS, COLS, 0, 0))
        os.set_blocking(self.master, False)
        path = shutil.which(argv[0]) or argv[0]
        slave_name = os.ttyname(self.slave)
        # the model is fed only when asked for, so that its work never falls inside a timed span
        self._model = termmodel.Screen(ROWS, COLS) if model else None
        self._unfed = []
        self.out = 0
        self.start = time.perf_counter()
        # a new session whose first open of the slave makes it the controlling terminal
        self.pid = os.posix_spawn(path, argv, env, setsid=True, file_actions=[
            (os.POSIX_SPAWN_OPEN, 0, slave_name, os.O_RDWR, 0),
            (os.POSIX_SPAWN_DUP2, 0, 1),
            (os.POSIX_SPAWN_DUP2, 0, 2)])
        self.alive = True
        self.closed = False

    def drain(self):
        got = 0
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except BlockingIOError:
                break
            except OSError:  # EIO once the editor has gone
                break
            if not chunk:
                break
            got += len(chunk)
            if self._model is not None:
                self._unfed.append(chunk)
        self.out += got
        return got

    def _feed(self):
        for chunk in self._unfed:
            self._model.feed(chunk)
        self._unfed.clear()

    @property
    def screen(self):
        self._feed()
        return self._model

    def waiting(self):
        """Is the editor asleep in a wait for input, with none of ours left unread?"""
        try:
            with open(f'/proc/{self.pid}/stat') as f:
                state = f.read().rsplit(')', 1)[1].split()[0]
            if state != 'S':
                return False
            with open(f'/proc/{self.pid}/syscall') as f:
                call = f.read().split()
        except (OSError, IndexError):
            return False
        if not call or not call[0].isdigit() or int(call[0]) not in WAITING:
            return False
        unread = struct.unpack('i', fcntl.ioctl(self.slave, termios.FIONREAD, b'\0\0\0\0'))[0]
        return unread == 0

    def runs(self):
        """How many times the editor has been given a processor (0 once it is gone)."""
        try:
            with open(f'/proc/{self.pid}/schedstat') as f:
                return int(f.read().split()[2])
        except (OSError, IndexError, ValueError):
            return 0

    def settle(self, timeout=60.0, spin=0.0, runs=None):
        """Waits until the editor has settled; returns the time it was first seen so (perf_counter seconds).
        For the first `spin` seconds it polls without sleeping: a processor that has gone idle takes tens of
        microseconds to wake on the editor's output, as long as a fast key takes, and sooner for an editor whose
        early partial output happened to wake it. A span that lasts longer is not worth a busy processor. `runs`: the editor's runs() before keys were sent; until it has run
        since, or been seen at work, it has not had them (the terminal hands keys over a moment after they are
        written), however asleep it looks."""
        deadline = time.perf_counter() + timeout
        busy_until = time.perf_counter() + spin
        seen = 0
        first = 0.0
        while True:
            if self.drain():
                seen = 0
            now = time.perf_counter()
            asleep = self.waiting()
            if runs is not None and (not asleep or self.runs() != runs):
                runs = None  # it has been at work since the keys were sent: it has them
            if asleep and runs is None:
                if seen == 0:
                    first = now
                seen += 1
                if seen >= 2 and now - first >= 0.001:
                    if self.drain():
                        seen = 0
                        continue
                    return first
            else:
                seen = 0
            if now > deadline:
                raise Timeout()
            select.select([self.master], [], [], 0 if now < busy_until else 0.0003)

    def send(self, keys):
        keys = keys.encode() if isinstance(keys, str) else keys
        if self.screen and self.screen.app_cursor:
            # the terminal is in application cursor mode: its arrow keys now send ESC O x
            keys = re.sub(rb'\x1b\[([ABCD])', lambda m: b'\x1bO' + m.group(1), keys)
        os.write(self.master, keys)

    def send_all(self, data):
        """Writes all of `data`, however much the terminal takes at a time, reading the editor's output meanwhile."""
        view = memoryview(data)
        while view:
            try:
                view = view[os.write(self.master, view[:65536]):]
            except BlockingIOError:
                self.drain()
                select.select([self.master], [self.master], [], 0.01)

    def timed(self, keys, timeout=60.0):
        """Sends keys at once; returns (milliseconds until settled, bytes written meanwhile)."""
        self.drain()
        before = self.out
        self._feed()  # the model's work stays outside the timed span
        runs = self.runs()
        t0 = time.perf_counter()
        self.send(keys)
        t1 = self.settle(timeout, spin=0.005, runs=runs)
        return (t1 - t0) * 1000, self.out - before

    def pause(self, seconds):
        """Lets an editor that waits out a lone Escape see it as one, then settles."""
        end = time.perf_counter() + seconds
        while time.perf_counter() < end:
            self.drain()
            select.select([self.master], [], [], 0.005)
        self.settle()

    def status(self, field):
        try:
            with open(f'/proc/{self.pid}/status') as f:
                for line in f:
                    if line.startswith(field + ':'):
                        return int(line.split()[1])  # KiB
        except OSError:
            pass
        return None

    def close(self, ed):
        """Quits the editor its own way, then makes sure it is gone."""
        if self.closed:
            return
        self.closed = True
        if self.alive:
            try:
                self.send(ed['esc'])
                if ed['esc']:
                    time.sleep(0.15)
                self.send(ed['quit'])
                if self.wait_exit(0.7) is None and ed['discard']:
                    self.send(ed['discard'])
                if self.wait_exit(0.7) is None:
                    os.kill(self.pid, signal.SIGKILL)
                    self.wait_exit(5)
            except OSError:
                pass
        os.close(self.master)
        os.close(self.slave)

    def wait_exit(self, seconds):
        end = time.perf_counter() + seconds
        while time.perf_counter() < end:
            self.drain()
            pid, _ = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.alive = False
                return True
            time.sleep(0.01)
        return None


def editor_env(home):
    env = {'HOME': home, 'TERM': 'xterm', 'LANG': 'C.UTF-8', 'PATH': os.environ.get('PATH', '/usr/bin:/bin'),
           'SHELL': '/bin/sh', 'USER': os.environ.get('USER', 'root')}
    return env


def fresh_copy(data, name, work):
    """A scratch copy of a data file for one session (the editors write backups, locks and saves next to it).
    The scratch home is emptied too, so that no editor starts from a position or history it kept last time."""
    home = os.path.join(os.path.dirname(work), 'home')
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    for f in os.listdir(work):  # the driver runs inside `work`, so only its contents go
        p = os.path.join(work, f)
        if os.path.isdir(p) and not os.path.islink(p):
            shutil.rmtree(p)
        else:
            os.unlink(p)
    shutil.copyfile(os.path.join(data, name), os.path.join(work, name))
    gc.collect()  # the driver's collector runs here, between sessions, and never while one is timed
    # on the disk before the editor starts: its own fsync of a save would otherwise wait for the copy too
    fd = os.open(os.path.join(work, name), os.O_RDONLY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)
    return name


# --- measurements -----------------------------------------------------------------------------------------------

class Results:
    """figure -> editor -> list of samples (or a string saying why there are none)."""

    def __init__(self):
        self.data = {}

    def add(self, figure, editor, value):
        slot = self.data.setdefault(figure, {}).setdefault(editor, [])
        if isinstance(slot, list):
            slot.append(value)

    def fail(self, figure, editor, why):
        self.data.setdefault(figure, {})[editor] = why

    def get(self, figure, editor):
        return self.data.get(figure, {}).get(editor)


def measure_small(name, ed, env, data, work, reps, res, ideal):
    """First screen of the 2 KB file, idle memory, and the bytes of single keys on the 1,000-line file: a cursor down
    to line 2, a character typed at its start, one deleted in its middle, and a page down."""
    model = name == 'zt'
    for i in range(8 * reps + 1):  # start-up is the noisiest figure
        if model and i % 2 == 0:
            # the do-nothing program right beside zt, so that both see the same load on the machine; before
            # and after it by turns, so that neither always follows the other's exit
            measure_baseline(data, work, env, 1, res)
        f = fresh_copy(data, 'small.txt', work)
        s = Session(ed['cmd'] + [f], env, model=True)
        try:
            t = s.settle(20)
            res.add('first_ms', name, (t - s.start) * 1000)
            res.add('first_bytes', name, s.out)
            if model:
                blank = termmodel.Screen(ROWS, COLS).snapshot()
                ideal.setdefault('first_bytes', []).append(termmodel.ideal_bytes(blank, s.screen.snapshot()))
            res.add('idle_rss', name, s.status('VmRSS') / 1024)
        except Timeout:
            res.fail('first_ms', name, 'timeout')
        finally:
            s.close(ed)
        if model and i % 2 == 1:
            measure_baseline(data, work, env, 1, res)

    for _ in range(reps // 2 + 1):
        # one key of each kind, each after the last has settled
        f = fresh_copy(data, 'lines1000.txt', work)
        s = Session(ed['cmd'] + [f], env, model=True)
        lines = open(os.path.join(data, 'lines1000.txt')).read().splitlines()
        try:
            s.settle(20)
            gone = (len(lines[1]) + 1) // 2  # where the deleted character stands once the Q is in
            for fig, keys in (('down_bytes', ed['down']), ('char_bytes', 'Q'), ('del_bytes', ed['delete']),
                              ('pgdn_bytes', ed['pgdn'])):
                if fig == 'char_bytes' and ed['ins']:
                    s.send(ed['ins'])
                    s.settle()
                if fig == 'del_bytes':
                    # from behind the Q (on it, for an editor back from typing) to the middle of the line
                    for _ in range(gone - (0 if ed['esc'] else 1)):
                        s.timed('\x1b[C')
                before = s.screen.snapshot()
                _, n = s.timed(keys)
                res.add(fig, name, n)
                if fig == 'char_bytes':
                    lines[1] = 'Q' + lines[1]
                if fig == 'del_bytes':
                    lines[1] = lines[1][:gone] + lines[1][gone + 1:]
                    if lines[1] not in [row.rstrip() for row in s.screen.lines()]:
                        res.fail(fig, name, 'the character was not deleted')
                if model:
                    ideal.setdefault(fig, []).append(termmodel.ideal_bytes(before, s.screen.snapshot()))
                    # the estimate rests on the model: it must show the window the status line speaks of
                    m = re.search(r'(\d+):\d+ +altH', s.screen.lines()[-1])
                    if not m or not shows_window(s.screen, lines, int(m.group(1))):
                        res.fail(fig, name, 'modelled screen is not the window')
                if fig == 'char_bytes' and ed['esc']:
                    s.send(ed['esc'])
                    s.pause(0.15)
        except Timeout:
            res.fail('down_bytes', name, 'timeout')
        finally:
            s.close(ed)

        # 50 cursor downs that scroll: first walk the cursor to the bottom of the window
        f = fresh_copy(data, 'lines1000.txt', work)
        s = Session(ed['cmd'] + [f], env, model=True)
        try:
            s.settle(20)
            for _ in range(30):
                s.timed(ed['down'])
            total, best = 0, 0
            for _ in range(50):
                before = s.screen.snapshot()
                total += s.timed(ed['down'])[1]
                if model:
                    best += termmodel.ideal_bytes(before, s.screen.snapshot())
            res.add('down50_bytes', name, total / 50)
            if model:
                ideal.setdefault('down50_bytes', []).append(best / 50)
            shown = ' '.join(s.screen.lines())
            if lines[79].strip() and lines[79].strip()[:40] not in shown:
                res.fail('down50_bytes', name, 'line 80 not shown')
            if model and not shows_window(s.screen, lines, 81):  # 80 downs from line 1
                # the byte estimate rests on the model; it must draw zt's window exactly
                res.fail('down50_bytes', name, 'modelled screen is not the window')
        except Timeout:
            res.fail('down50_bytes', name, 'timeout')
        finally:
            s.close(ed)


def measure_chars(ed, env, data, work, reps, res):
    """zt on the files of char_files() in a UTF-8 locale and in the C locale: the first screen, a key typed at the
    start, then at the end of the first line, and a cursor step back there; each key PACED times in a session, one
    after another settled, so that a median stands on many keys. Beside each key's time, the processor time zt took
    for it (from /proc/PID/schedstat), which the round trip through the pseudo-terminal does not blur."""
    for name in char_files():
        for loc in ('C.UTF-8', 'C'):
            tag = f'{name}:{loc}'
            for _ in range(reps):
                f = fresh_copy(data, name, work)
                s = Session(ed['cmd'] + [f], dict(env, LANG=loc))
                try:
                    res.add('chars_first_ms', tag, (s.settle(20) - s.start) * 1000)

                    def keys(fig, key):
                        for _ in range(PACED):
                            before = cpu_ns(s.pid)
                            res.add(fig, tag, s.timed(key)[0])
                            res.add(fig.replace('_ms', '_cpu'), tag, (cpu_ns(s.pid) - before) / 1000)
                    keys('chars_key_start_ms', 'Q')
                    s.send('\x1b[4~')  # End
                    s.settle()
                    keys('chars_key_end_ms', 'Q')
                    keys('chars_left_ms', '\x1b[D')
                except Timeout:
                    res.fail('chars_first_ms', tag, 'timeout')
                finally:
                    s.close(ed)


def instructions_per_key(ed, env, data, work, res, keys=40):
    """zt's instructions for a key at the end of the first line of each file of char_files(), in a UTF-8 locale and
    in the C locale, as callgrind counts them: the count with `keys` keys (a character typed and taken back by
    turns) less the count with none, over `keys`. Unlike a time, this count hardly moves from run to run, so a few
    per cent between the locales show."""
    if not shutil.which('valgrind'):
        print('installing valgrind for the instruction counts', flush=True)
        apt_install(['valgrind'])
    out = os.path.join(work, 'callgrind.out')

    def count(f, loc, n):
        if os.path.exists(out):
            os.unlink(out)
        s = Session(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out] + ed['cmd'] + [f],
                    dict(env, LANG=loc))
        try:
            s.settle(120)
            s.timed('\x1b[4~', 60)  # End
            for i in range(n):
                s.timed('Q' if i % 2 == 0 else '\x7f', 60)
        finally:
            s.close(ed)
        for _ in range(100):  # the count is written as valgrind ends
            if os.path.exists(out) and 'totals:' in open(out).read():
                break
            time.sleep(0.1)
        for line in open(out):
            if line.startswith('totals:'):
                return int(line.split()[1])
        raise Timeout()

    for name in char_files():
        for loc in ('C.UTF-8', 'C'):
            tag = f'{name}:{loc}'
            if not shutil.which('valgrind'):
                res.fail('chars_instr', tag, 'no valgrind')
                continue
            try:
                f = fresh_copy(data, name, work)
                res.add('chars_instr', tag, (count(f, loc, keys) - count(f, loc, 0)) / keys / 1000)
            except (Timeout, OSError):
                res.fail('chars_instr', tag, 'no count')


def cpu_ns(pid):
    """Processor time a process has had so far, in nanoseconds."""
    with open(f'/proc/{pid}/schedstat') as f:
        return int(f.read().split()[0])


def paste_text():
    """About 1 MB of word lines, whole lines only."""
    lines, size = [], 0
    for line in word_lines(random.Random(3), 40000, 0, 76):
        lines.append(line)
        size += len(line)
        if size >= 1000 * 1000:
            break
    return ''.join(lines).encode()


def measure_paste(name, ed, env, data, work, reps, res):
    """A 1 MB paste at the start of the 100 MB file (a small file has no room for it), sent as a terminal sends it
    with bracketed paste on: from the first byte sent until the editor has settled, the status line showing the
    cursor behind the paste."""
    text = paste_text()
    for _ in range(reps):
        f = fresh_copy(data, 'big100.txt', work)
        warm_memory(data, 'big100.txt')
        s = Session(ed['cmd'] + [f], env, model=True)
        try:
            s.settle(120)
            s.drain()
            t0 = time.perf_counter()
            s.send_all(b'\x1b[200~' + text + b'\x1b[201~')
            t1 = s.settle(60)
            m = re.search(r'(\d+):(\d+) +altH', s.screen.lines()[-1])
            if m and (int(m.group(1)), int(m.group(2))) == (text.count(b'\n') + 1, 1):
                res.add('paste1m_ms', name, (t1 - t0) * 1000)
            else:
                res.fail('paste1m_ms', name, 'the cursor is not behind the paste')
        except Timeout:
            res.fail('paste1m_ms', name, 'timeout')
        finally:
            s.close(ed)


def chars_table(res):
    """Per file: each figure in the UTF-8 locale, in the C locale, and their ratio."""
    head = ['file', 'figure', 'UTF-8', 'C', 'UTF-8/C']
    body = []
    for name in char_files():
        for fig, label in (('chars_first_ms', 'first screen (ms)'), ('chars_key_start_ms', 'key at the start (ms)'),
                           ('chars_key_start_cpu', '  its processor time (µs)'),
                           ('chars_key_end_ms', 'key at the end of line 1 (ms)'),
                           ('chars_key_end_cpu', '  its processor time (µs)'),
                           ('chars_instr', '  instructions, typed and taken back (thousands)'),
                           ('chars_left_ms', 'cursor left there (ms)'), ('chars_left_cpu', '  its processor time (µs)')):
            u, c = summary(res.get(fig, f'{name}:C.UTF-8')), summary(res.get(fig, f'{name}:C'))
            ratio = f'{u[0] / c[0]:.2f}' if u and c and c[0] > 0 else '-'
            body.append([name, label, fmt(u) if u else '-', fmt(c) if c else '-', ratio])
    return head, body


def shows_window(screen, lines, cursor_line):
    """Do the text rows show consecutive lines of the file (cut at the screen width), the cursor on line
    `cursor_line` (1-based)?"""
    rows = screen.lines()[:screen.rows - 1]
    top = cursor_line - 1 - screen.r
    if top < 0:
        return False
    return all(row.rstrip() == (lines[top + y][:screen.cols] if top + y < len(lines) else '').rstrip()
               for y, row in enumerate(rows))


def measure_big(name, ed, env, data, work, meta, reps, res, fname='big100.txt', full=True, in_place=False):
    """Opening a big file; with `full`, also typing at its start, searching to its end and saving it. `in_place`
    opens the data file itself, for an editor that writes nothing when it only opens and quits."""
    size = meta[fname]['size']
    tag = {'big100.txt': '100', 'line20m.txt': '20', 'big1000.txt': '1000'}[fname]
    for _ in range(reps):
        f = os.path.join(data, fname) if in_place else fresh_copy(data, fname, work)
        warm_memory(data, fname)
        s = Session(ed['cmd'] + [f], env, model=True)
        step = 'open'
        failed = False
        try:
            t = s.settle(120)
            res.add(f'open{tag}_ms', name, (t - s.start) * 1000)
            res.add(f'open{tag}_rss', name, s.status('VmHWM') / 1024)
            if not full:
                continue
            # one key at the start of the text, for the save (the paced keys are timed in sessions of their own)
            step = 'key'
            if ed['ins']:
                s.send(ed['ins'])
                s.settle()
            s.timed('Q')
            if ed['esc']:
                s.send(ed['esc'])
                s.pause(0.15)
            # a save after that one change
            step = 'save'
            ms, _ = s.timed(ed['save'], 60)
            with open(f, 'rb') as saved:
                head = saved.read(2)
            if os.path.getsize(f) == size + 1 and head[:1] == b'Q':
                res.add('save100_ms', name, ms)
            else:
                res.fail('save100_ms', name, 'file not saved')
            # 1,000 characters at once, then 100 Returns at once
            step = 'typing'
            if ed['ins']:
                s.send(ed['ins'])
                s.settle()
            res.add('chars100_ms', name, s.timed(TYPED, 120)[0])
            res.add('returns100_ms', name, s.timed('\r' * 100, 120)[0])
            if ed['esc']:
                s.send(ed['esc'])
                s.pause(0.15)
            # a search to the last line
            step = 'search'
            ms, _ = s.timed(ed['search'](UNIQUE), 120)
            rows = s.screen.lines()
            ok = any(UNIQUE in row for row in rows[:-1])
            if name == 'zt':
                m = re.search(r'(\d+):\d+ +altH', rows[-1])
                ok = ok and m is not None and int(m.group(1)) == meta[fname]['lines'] + 100
            if ok:
                res.add('search100_ms', name, ms)
            else:
                res.fail('search100_ms', name, 'search did not reach the last line')
        except Timeout:
            res.fail({'open': f'open{tag}_ms', 'key': 'save100_ms', 'save': 'save100_ms', 'typing': 'chars100_ms',
                      'search': 'search100_ms'}[step], name, 'timeout')
            if step == 'open':
                res.fail(f'open{tag}_rss', name, 'timeout')
            failed = True
        finally:
            s.close(ed)
        if failed:
            return


def first_line(data, fname):
    with open(os.path.join(data, fname), 'rb') as f:
        return f.readline().decode().rstrip('\n')


def typed_at_cursor(screen, accepted):
    """Does the row under the cursor read as one of `accepted` (its line as the typed key should leave it)? Only
    what fits before the last column is compared, where some editors mark a line that goes on."""
    row = screen.text(screen.r)[:screen.cols - 1].rstrip()
    return any(row == a[:screen.cols - 1].rstrip() for a in accepted)


def measure_places(name, ed, env, data, work, meta, reps, res, fname, places, in_place=False):
    """One paced key in each of `places` of a big file ('start', 'middle' or 'end'), each in a session of its own: the
    middle reached by the editor's search for MIDDLE, the end by its key for the end of the text. A first key there,
    not timed, lets an editor bring its free room to the place; the PACED keys after it are timed one by one. They
    count only when the row under the cursor then shows that line with all the keys in it. On the 1 GB file, zt's session at the start goes on
    to the end of the text and times the first key there: a jump across the whole text, the room moving with it.
    `in_place` opens the data file itself (no session here saves)."""
    tag = {'big100.txt': '100', 'big1000.txt': '1000'}[fname]
    timeout = 120 * max(1, meta[fname]['size'] // (200 * 1000 * 1000))
    first = first_line(data, fname)
    at_end = ['Q', LAST_LINE + 'Q']  # on the empty line after the last, or behind the last (vi's A)
    typed = 'P' + 'Q' * PACED
    wanted = {'start': [typed + first], 'end': [typed, LAST_LINE + typed],
              'middle': [MIDDLE_LINE[:i] + typed + MIDDLE_LINE[i:] for i in range(len(MIDDLE_LINE) + 1)]}
    figure = {'start': f'key{tag}_ms', 'middle': f'mid{tag}_ms', 'end': f'end{tag}_ms'}
    jump = name == 'zt' and tag == '1000'
    for _ in range(reps):
        for place in places:
            fig = figure[place]
            if in_place:
                f = os.path.join(data, fname)
                if os.path.lexists(os.path.join(data, '.#' + fname)):
                    os.unlink(os.path.join(data, '.#' + fname))  # joe's lock, left by a session that was killed
                made = os.stat(f).st_mtime_ns
            else:
                f = fresh_copy(data, fname, work)
            warm_memory(data, fname)
            s = Session(ed['cmd'] + [f], env, model=True)
            try:
                s.settle(timeout)
                if place == 'middle':
                    s.timed(ed['search'](MIDDLE), timeout)
                if place == 'end':
                    s.timed(ed['end'], timeout)
                ins = ed['end_ins'] if place == 'end' else ed['ins']
                if ins:
                    s.send(ins)
                    s.settle()
                s.timed('P', timeout)
                times, cpus = [], []
                for _ in range(PACED):
                    before = cpu_ns(s.pid)
                    times.append(s.timed('Q', timeout)[0])
                    cpus.append((cpu_ns(s.pid) - before) / 1000)
                if typed_at_cursor(s.screen, wanted[place]):
                    for ms, us in zip(times, cpus):
                        res.add(fig, name, ms)
                        res.add(fig.replace('_ms', '_cpu'), name, us)
                else:
                    res.fail(fig, name, f'the key did not land at the {place}')
                if place == 'start' and jump:
                    fig = f'jump{tag}_ms'
                    if ed['esc']:
                        s.send(ed['esc'])
                        s.pause(0.15)
                    s.timed(ed['end'], timeout)
                    if ed['end_ins']:
                        s.send(ed['end_ins'])
                        s.settle()
                    ms, _ = s.timed('Q', timeout)
                    if typed_at_cursor(s.screen, at_end):
                        res.add(fig, name, ms)
                    else:
                        res.fail(fig, name, 'the key did not land at the end')
            except Timeout:
                res.fail(fig, name, 'timeout')
                failed = True
            else:
                failed = False
            finally:
                s.close(ed)
            if in_place and os.stat(f).st_mtime_ns != made:
                os.unlink(f)  # made again on the next run
                sys.exit(f'{name} wrote {f} on leaving: its quit or discard keys are wrong')
            if failed:  # the timeouts are generous: the other places would only wait as long
                return


def measure_baseline(data, work, env, reps, res):
    prog = os.path.join(data, 'baseline')
    for _ in range(reps):
        f = fresh_copy(data, 'small.txt', work)
        s = Session([prog, f], env)
        t = s.settle(10)
        res.add('first_ms', 'baseline', (t - s.start) * 1000)
        res.add('first_bytes', 'baseline', s.out)
        res.add('idle_rss', 'baseline', s.status('VmRSS') / 1024)
        s.send('q')
        s.wait_exit(2)
        s.close(dict(esc='', quit='', discard=''))


def measure_round_trip(data, work, env, res, fig):
    """The floor under a paced key: the do-nothing program answering each key at once with as many bytes as a typed
    character takes, its keys timed as an editor's are."""
    f = fresh_copy(data, 'small.txt', work)
    s = Session([os.path.join(data, 'baseline'), f, 'keys'], env)
    try:
        s.settle(10)
        s.timed('P')
        for _ in range(PACED):
            res.add(fig, 'baseline', s.timed('Q')[0])
    except Timeout:
        res.fail(fig, 'baseline', 'timeout')
    finally:
        s.send('q')
        s.wait_exit(2)
        s.close(dict(esc='', quit='', discard=''))


def warm_memory(data, fname):
    """Memory for twice the file made resident and freed just before a measured program starts (see limits.c)."""
    mib = 2 * os.path.getsize(os.path.join(data, fname)) // (1 << 20) + 64
    subprocess.run([os.path.join(data, 'limits'), 'warm', str(mib)], check=True)


def measure_limits(data, fname, reps, read_only=False):
    warm_memory(data, fname)
    out = subprocess.run([os.path.join(data, 'limits'), os.path.join(data, fname),
                          os.path.join(data, 'limits.scratch'), str(reps)] + (['read'] if read_only else []),
                         capture_output=True, text=True, check=True)
    lim = {}
    for line in out.stdout.splitlines():
        k, med, lo, hi = line.split()
        lim[k] = (float(med), float(lo), float(hi))
    return lim


def stripped_size(path):
    path = shutil.which(path) or path
    tmp = '/tmp/zt-bench-strip.bin'
    shutil.copyfile(os.path.realpath(path), tmp)
    subprocess.run(['strip', tmp], capture_output=True)
    size = os.path.getsize(tmp)
    os.unlink(tmp)
    return size / 1024


# --- the table --------------------------------------------------------------------------------------------------

def summary(samples):
    if not isinstance(samples, list) or not samples:
        return None
    return statistics.median(samples), min(samples), max(samples)


def fmt(v):
    if v is None:
        return '-'
    med, lo, hi = v
    digits = 0 if med >= 100 else 1 if med >= 10 else 2
    text = f'{med:.{digits}f}'
    if hi - lo > 1e-9 and (hi - lo) / max(abs(med), 1e-9) > 0.005:
        text += f' ({lo:.{digits}f}–{hi:.{digits}f})'
    return text


def build_rows(res, ideal, limits, meta, eds, big):
    """One row per figure: (label, zt, best peer, peer name, limit, limit label, target text, met)."""
    mib = 1024 * 1024
    peers = [n for n in eds if n != 'zt']

    def best_peer(fig, only=None):
        cands = [(summary(res.get(fig, p)), p) for p in (only or peers)]
        cands = [(v, p) for v, p in cands if v]
        return min(cands, key=lambda c: c[0][0]) if cands else (None, None)

    def lim(key, fname='big100.txt'):
        v = limits.get(fname, {}).get(key)
        return v

    rows = []

    def row(label, fig, limit=None, limit_label='', peer_only=None, rule=None, target=''):
        zt = summary(res.get(fig, 'zt'))
        pv, pn = best_peer(fig, peer_only)
        met = None
        if zt and rule:
            met = rule(zt[0], pv[0] if pv else None, limit[0] if limit else None)
        rows.append(dict(label=label, fig=fig, zt=zt, peer=pv, peer_name=pn, limit=limit, limit_label=limit_label,
                         target=target, met=met, why=res.get(fig, 'zt') if not zt else None))

    def le_peer(z, p, l):
        return p is not None and z <= p

    def paced_key(z, p, l):  # a key typed alone, wherever it lands
        return z < 1 and p is not None and z <= p

    def peer_or_limit(factor):
        return lambda z, p, l: (p is not None and z <= p) or (l is not None and z <= factor * l)

    def ideal_of(fig):
        return summary(ideal.get(fig))

    size100 = meta['big100.txt']['size'] / mib
    row('first screen, 2 KB file (ms)', 'first_ms', summary(res.get('first_ms', 'baseline')), 'do-nothing C',
        rule=lambda z, p, l: l is not None and z <= 1.1 * l, target='≤ 1.1× do-nothing')
    row('bytes for the first screen', 'first_bytes', ideal_of('first_bytes'), 'fewest', rule=le_peer,
        target='≤ best peer')
    row('idle RSS (MiB)', 'idle_rss', summary(res.get('idle_rss', 'baseline')), 'do-nothing C',
        peer_only=['busybox vi'], rule=le_peer, target='< busybox vi')
    row('binary, stripped (KiB)', 'binary_kib', None, '', rule=lambda z, p, l: z <= 150, target='≤ 150 KiB')
    bytes_rule = lambda z, p, l: p is not None and z <= p and l is not None and z <= 1.5 * l  # noqa: E731
    row('bytes for a cursor down', 'down_bytes', ideal_of('down_bytes'), 'fewest', peer_only=['jstar'],
        rule=bytes_rule, target='≤ jstar, ≤ 1.5× fewest')
    row('bytes for a typed character', 'char_bytes', ideal_of('char_bytes'), 'fewest', rule=bytes_rule,
        target='≤ best peer, ≤ 1.5× fewest')
    row('bytes for a character deleted inside a line', 'del_bytes', ideal_of('del_bytes'), 'fewest', rule=bytes_rule,
        target='≤ best peer, ≤ 1.5× fewest')
    row('bytes for a page down', 'pgdn_bytes', ideal_of('pgdn_bytes'), 'fewest', peer_only=['jpico'],
        rule=bytes_rule, target='≤ jpico, ≤ 1.5× fewest')
    row('bytes per cursor down, 50 that scroll', 'down50_bytes', ideal_of('down50_bytes'), 'fewest',
        rule=bytes_rule, target='≤ best peer, ≤ 1.5× fewest')
    row('paste 1 MB at the start of 100 MB (ms)', 'paste1m_ms', None, '', rule=lambda z, p, l: z <= 250,
        target='≤ 250 ms')
    row('open 100 MB (ms)', 'open100_ms', lim('read'), 'read', rule=lambda z, p, l: l is not None and z <= 1.2 * l,
        target='≤ 1.2× read')
    row('open 100 MB, peak RSS (MiB)', 'open100_rss', (size100, size100, size100), 'file size',
        rule=lambda z, p, l: z <= l + 8, target='≤ size + 8 MiB')
    for place, fig in (('at the start', 'key100_ms'), ('in the middle', 'mid100_ms'), ('at the end', 'end100_ms')):
        row(f'one key {place} of 100 MB (ms)', fig, summary(res.get('trip100_ms', 'baseline')), 'round trip',
            rule=paced_key, target='< 1 ms, ≤ best peer')
        row('  its processor time (µs)', fig.replace('_ms', '_cpu'))
    row('1,000 chars at once at the start (ms)', 'chars100_ms', rule=le_peer, target='≤ best peer')
    row('100 Returns at once at the start (ms)', 'returns100_ms', rule=le_peer, target='≤ best peer')
    row('search to the last line of 100 MB (ms)', 'search100_ms', lim('memchr'), 'memchr',
        rule=lambda z, p, l: l is not None and z <= 2 * l, target='≤ 2× memchr')
    row('save 100 MB after one change (ms)', 'save100_ms', lim('write_fsync'),
        'write+fsync', rule=lambda z, p, l: l is not None and z <= 1.3 * l, target='≤ 1.3× write+fsync')
    size20 = meta['line20m.txt']['size'] / mib
    row('open a 20 MB single line (ms)', 'open20_ms', lim('read', 'line20m.txt'), 'read', rule=peer_or_limit(1.2),
        target='≤ best peer or ≤ 1.2× read')
    row('open a 20 MB single line, peak RSS (MiB)', 'open20_rss', (size20, size20, size20), 'file size',
        rule=lambda z, p, l: z <= l + 8, target='≤ size + 8 MiB')
    if big:
        size1g = meta['big1000.txt']['size'] / mib
        row('open 1 GB (ms)', 'open1000_ms', lim('read', 'big1000.txt'), 'read',
            rule=lambda z, p, l: l is not None and z <= 1.2 * l, target='≤ 1.2× read')
        row('open 1 GB, peak RSS (MiB)', 'open1000_rss', (size1g, size1g, size1g), 'file size',
            rule=lambda z, p, l: z <= l + 8, target='≤ size + 8 MiB')
        for place, fig in (('at the start', 'key1000_ms'), ('in the middle', 'mid1000_ms'),
                           ('at the end', 'end1000_ms')):
            row(f'one key {place} of 1 GB (ms)', fig, summary(res.get('trip1000_ms', 'baseline')), 'round trip',
                rule=paced_key, target='< 1 ms, ≤ best peer')
            row('  its processor time (µs)', fig.replace('_ms', '_cpu'))
        row('one key at the far end of 1 GB, after one at its start (ms)', 'jump1000_ms', lim('memmove', 'big1000.txt'),
            'memmove', rule=lambda z, p, l: l is not None and z <= 1.2 * l, target='≤ 1.2× memmove')
    return rows


def render_text(h, body):
    widths = [max(len(str(x[i])) for x in [h] + body) for i in range(len(h))]
    out = ['  '.join(str(x).ljust(w) for x, w in zip(h, widths))]
    out.append('  '.join('-' * w for w in widths))
    out += ['  '.join(str(x).ljust(w) for x, w in zip(line, widths)) for line in body]
    return '\n'.join(out)


def render(rows, res, eds, limits, seconds, args):
    head = ['figure', 'zt', 'best peer (which)', 'zt/peer', 'limit', 'zt/limit', 'target', 'met?']
    table = []
    for r in rows:
        z = fmt(r['zt']) if r['zt'] else (r['why'] if isinstance(r['why'], str) else '-')
        peer = f"{fmt(r['peer'])} ({r['peer_name']})" if r['peer'] else '-'
        ratio_p = f"{r['zt'][0] / r['peer'][0]:.2f}" if r['zt'] and r['peer'] and r['peer'][0] > 0 else '-'
        limit = f"{fmt(r['limit'])} ({r['limit_label']})" if r['limit'] else '-'
        ratio_l = f"{r['zt'][0] / r['limit'][0]:.2f}" if r['zt'] and r['limit'] and r['limit'][0] > 0 else '-'
        met = 'yes' if r['met'] else 'no' if r['met'] is not None else '-'
        table.append([r['label'], z, peer, ratio_p, limit, ratio_l, r['target'], met])

    # every editor's figures, for looking behind the best peer
    names = list(eds)
    detail_head = ['figure'] + names
    detail = []
    for r in rows:
        line = [r['label']]
        for n in names:
            v = res.get(r['fig'], n)
            line.append(fmt(summary(v)) if summary(v) else (v if isinstance(v, str) else '-'))
        detail.append(line)

    text_table = render_text

    def md_table(h, body):
        out = ['| ' + ' | '.join(h) + ' |', '|' + '---|' * len(h)]
        out += ['| ' + ' | '.join(str(x) for x in line) + ' |' for line in body]
        return '\n'.join(out)

    notes = [
        f"Medians (min–max) over {8 * args.reps + 1} runs of the first screen, {args.reps // 2 + 1} of the keys and "
        f"{args.big_reps} of the big-file figures" + (f" ({args.big_reps_1g} for the keys in 1 GB)" if args.big else '') +
        "; 80x24 pseudo-terminal, TERM=xterm, warm page cache.",
    ]
    for fname, what in (('big100.txt', '100 MB'), ('big1000.txt', '1 GB')):
        if limits.get(fname):
            notes.append(f"Limits for the {what} file: " +
                         ', '.join(f"{k} {fmt(v)} ms" for k, v in limits[fname].items()) + '.')
    notes += [
        "'fewest' is the estimate of the fewest bytes that turn the screen before a key into the screen after it "
        "(a terminal model; runs of changed cells with the shortest cursor sequence and SGR, EL for blank tails, "
        "scrolling the text rows where that is cheaper, the rows that stay mended before or after the scroll, ESC 7 and ESC 8 to come back to a place passed).",
        f"The search looks for '{UNIQUE}', a word found only on the last line. A paced key is one key typed alone, "
        f"one of {PACED} typed one by one at one place in a session that has just opened the file, after a first "
        "one, not timed, that lets the editor bring its free room there: in the middle after the editor's own search "
        f"for '{MIDDLE}', found only on the middle line; at the end after its key for the end of the text (vi: G, "
        "then A). The round trip is the do-nothing program answering each key at once with 24 bytes, in sessions "
        "of its own by turns with the editors', its keys timed the same way: no editor's key can come back sooner. "
        "The character deleted is in the middle of a line (vi: x). vim runs with -n -i NONE (no swap "
        "or history file); the other peers with their defaults. busybox vi's binary is all of busybox.",
        f"Machine: {machine()}. Run took {seconds:.0f} s.",
    ]
    ch, cb = chars_table(res)
    text = (text_table(head, table) + '\n\n' + text_table(detail_head, detail) + '\n\n' + text_table(ch, cb) +
            '\n\n' + '\n'.join(notes))
    md = (md_table(head, table) + '\n\nAll editors:\n\n' + md_table(detail_head, detail) + '\n\n' +
          'zt in a UTF-8 locale and in the C locale (medians of 3):\n\n' + md_table(ch, cb) + '\n\n' +
          '\n'.join('- ' + n for n in notes) + '\n\nReproduce with `make bench` (`make bench BIG=1` adds the 1 GB '
          'file).\n')
    return text, md


def machine():
    cpu = '?'
    try:
        for line in open('/proc/cpuinfo'):
            if line.startswith('model name'):
                cpu = line.split(':', 1)[1].strip()
                break
        mem = int(open('/proc/meminfo').readline().split()[1]) // (1024 * 1024)
    except OSError:
        mem = 0
    return f'{os.cpu_count()} cores of {cpu}, {mem} GiB RAM, Linux {os.uname().release}'


# --- main -------------------------------------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--build', default=os.path.join(ROOT, 'build'))
    ap.add_argument('--data', default=os.path.join(ROOT, 'build-bench-data'))
    ap.add_argument('--big', action='store_true', help='also a 1 GB file: the limits, zt opening it, and a key at its '
                    'start, middle and end in each editor that takes the 100 MB file')
    ap.add_argument('--only', default='', help='comma-separated editors (zt is always included)')
    ap.add_argument('--quick', action='store_true', help='one run of each figure')
    ap.add_argument('--chars', action='store_true', help='only zt on the files of text as characters, and the paste')
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    args.data = os.path.abspath(args.data)
    args.reps, args.big_reps, args.big_reps_1g = (1, 1, 1) if args.quick else (5, 5, 3)
    started = time.perf_counter()
    gc.disable()

    eds = editors(args.build)
    if args.only:
        keep = {'zt'} | set(args.only.split(','))
        eds = {k: v for k, v in eds.items() if k in keep}
    if not os.access(eds['zt']['cmd'][0], os.X_OK):
        sys.exit(f'no {eds["zt"]["cmd"][0]}: build zt first')
    install_peers(eds)
    drawer = None if args.chars else chart_python()
    for n in list(eds):
        if not shutil.which(eds[n]['cmd'][0]):
            print(f'{n}: not installed, left out', flush=True)
    meta = make_files(args.data, args.big)
    for prog in ('limits', 'baseline'):
        subprocess.run(['cc', '-O2', '-o', os.path.join(args.data, prog), os.path.join(HERE, prog + '.c')],
                       check=True)

    work = os.path.join(args.data, 'work')
    home = os.path.join(args.data, 'home')
    for d in (work, home):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    os.chdir(work)
    env = editor_env(home)
    res = Results()
    ideal = {}

    if args.chars:
        measure_chars(eds['zt'], env, args.data, work, 1 if args.quick else 3, res)
        instructions_per_key(eds['zt'], env, args.data, work, res)
        ch, cb = chars_table(res)
        print(render_text(ch, cb))
        return

    # the limits first, so the page cache is warm and the figures sit side by side
    limits = {}
    for fname in ('big100.txt', 'line20m.txt') + (('big1000.txt',) if args.big else ()):
        print(f'limits on {fname}...', flush=True)
        limits[fname] = measure_limits(args.data, fname, 5 if not args.big or fname != 'big1000.txt' else 3)

    for name, ed in eds.items():
        if not shutil.which(ed['cmd'][0]):
            for fig in ('first_ms', 'open100_ms'):
                res.fail(fig, name, 'not installed')
            continue
        res.add('binary_kib', name, stripped_size(ed['cmd'][0]))
        print(f'{name}: keys...', flush=True)
        measure_small(name, ed, env, args.data, work, args.reps, res, ideal)
        if name == 'zt':  # zt only: a peer that does not bracket pastes would take 1 MB as keys
            print(f'{name}: paste...', flush=True)
            measure_paste(name, ed, env, args.data, work, args.reps, res)
        if name in BIG_EDITORS:
            print(f'{name}: 100 MB...', flush=True)
            measure_big(name, ed, env, args.data, work, meta, args.big_reps, res)
            print(f'{name}: 20 MB line...', flush=True)
            measure_big(name, ed, env, args.data, work, meta, args.big_reps, res, 'line20m.txt', full=False)
    # The paced keys come down to the pseudo-terminal's round trip, whose time drifts with the machine's load:
    # a session of every editor in each round, in an order that turns, so that a drift meets them all alike.
    # The do-nothing program's round trip takes its turn among them.
    paced = [n for n in BIG_EDITORS if n in eds and shutil.which(eds[n]['cmd'][0])] + ['baseline']
    print('paced keys in 100 MB, every editor by turns...', flush=True)
    for r in range(args.big_reps):
        for name in paced[r % len(paced):] + paced[:r % len(paced)]:
            if name == 'baseline':
                measure_round_trip(args.data, work, env, res, 'trip100_ms')
                continue
            measure_places(name, eds[name], env, args.data, work, meta, 1, res, 'big100.txt',
                           ('start', 'middle', 'end'))
    if args.big:
        print('zt: 1 GB...', flush=True)
        # Each open right after a read of the limit, and both of the data file itself: they then find memory in
        # the same state. On a virtual machine, memory freed a few seconds before may have gone back to the host,
        # and filling it again can cost several times as much.
        reads = []
        for _ in range(3):
            reads.append(measure_limits(args.data, 'big1000.txt', 1, read_only=True)['read'][0])
            measure_big('zt', eds['zt'], env, args.data, work, meta, 1, res, 'big1000.txt', full=False,
                        in_place=True)
        limits['big1000.txt']['read'] = summary(reads)
        print('paced keys in 1 GB, every editor by turns...', flush=True)
        for r in range(args.big_reps_1g):
            for name in paced[r % len(paced):] + paced[:r % len(paced)]:
                if name == 'baseline':
                    measure_round_trip(args.data, work, env, res, 'trip1000_ms')
                    continue
                measure_places(name, eds[name], env, args.data, work, meta, 1, res, 'big1000.txt',
                               ('start', 'middle', 'end'), in_place=True)
    if 'zt' in eds:
        print('zt: text as characters...', flush=True)
        measure_chars(eds['zt'], env, args.data, work, 3, res)
        instructions_per_key(eds['zt'], env, args.data, work, res)
    fresh_copy(args.data, 'small.txt', work)
    os.unlink(os.path.join(work, 'small.txt'))

    rows = build_rows(res, ideal, limits, meta, eds, args.big)
    text, md = render(rows, res, eds, limits, time.perf_counter() - started, args)
    print()
    print(text)
    with open(os.path.join(args.data, 'results.md'), 'w') as f:
        f.write(md)
    print(f"\n(Markdown in {os.path.join(args.data, 'results.md')})")
    draw_chart(drawer, rows, args)


def draw_chart(drawer, rows, args):
    """The table as a chart in the data directory and, after a full run, in doc/ for the README."""
    if drawer is None:
        print('no chart: matplotlib cannot be had here (python3-matplotlib did not install)')
        return
    full = not (args.quick or args.only)
    paths = [os.path.join(args.data, 'chart.svg')] + ([os.path.join(ROOT, 'doc', 'bench.svg')] if full else [])
    os.makedirs(os.path.dirname(paths[-1]), exist_ok=True)
    rows_path = os.path.join(args.data, 'rows.json')
    with open(rows_path, 'w') as f:
        json.dump(rows, f)
    note = ('one run of each figure' if args.quick else 'medians of the runs') + (
        f', editors {args.only}' if args.only else '') + f'; {machine()}; {time.strftime("%Y-%m-%d")}'
    r = subprocess.run([drawer, os.path.join(HERE, 'chart.py'), rows_path] + paths + ['--note', note],
                       capture_output=True, text=True)
    if r.returncode == 0:
        print('(chart in ' + ' and '.join(paths) + ')')
    else:
        print('no chart: ' + (r.stderr.strip().splitlines() or ['?'])[-1])


if __name__ == '__main__':
    main()
