"""Checks of the terminal model, the byte estimate and the settle test: python3 -m unittest discover bench"""

import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402
import termmodel as tm  # noqa: E402


def screen(data, rows=24, cols=80):
    s = tm.Screen(rows, cols)
    s.feed(data)
    return s


class ModelTest(unittest.TestCase):
    def test_cursor_positioning_in_every_digit_form(self):
        for seq, pos in ((b'\x1b[H', (0, 0)), (b'\x1b[5H', (4, 0)), (b'\x1b[05;010H', (4, 9)), (b'\x1b[;7H', (0, 6)),
                         (b'\x1b[3;4f', (2, 3)), (b'\x1b[99;99H', (23, 79)), (b'\x1b[0;0H', (0, 0))):
            s = screen(b'\x1b[10;10H' + seq)
            self.assertEqual((s.r, s.c), pos, seq)
        s = screen(b'\x1b[10;10H\x1b[2A\x1b[3C\x1b[B\x1b[D\x1b[20D\x1b[99A')
        self.assertEqual((s.r, s.c), (0, 0))
        s = screen(b'\x1b[5;5Hab\b\b\bc\rd')
        self.assertEqual(s.text(4)[:7], 'd  cab ')

    def test_sgr_with_several_parameters(self):
        s = screen(b'a\x1b[1;7mb\x1b[0mc\x1b[31;1md\x1b[32me\x1b[;4mf\x1b[38;5;12mg\x1b[39mh\x1b[7m\x1b[27mi')
        attrs = [a for _, a in s.cells[0][:9]]
        self.assertEqual(attrs[0], ())
        self.assertEqual(attrs[1], ('1', '7'))
        self.assertEqual(attrs[2], ())
        self.assertEqual(attrs[3], ('1', '31'))
        self.assertEqual(attrs[4], ('1', '32'))  # a colour replaces the colour, not the bold
        self.assertEqual(attrs[5], ('4',))
        self.assertEqual(attrs[6], ('38;5;12', '4'))
        self.assertEqual(attrs[7], ('4',))
        self.assertEqual(attrs[8], ('4',))

    def test_erasing(self):
        s = screen(b'0123456789\x1b[1;5H\x1b[K')
        self.assertEqual(s.text(0)[:10], '0123      ')
        s = screen(b'0123456789\x1b[1;5H\x1b[1K')
        self.assertEqual(s.text(0)[:10], '     56789')
        s = screen(b'0123456789\r\nabc\x1b[1;5H\x1b[J')
        self.assertEqual((s.text(0)[:6], s.text(1)[:3]), ('0123  ', '   '))
        s = screen(b'0123456789\x1b[1;3H\x1b[2P\x1b[2@\x1b[3X')
        self.assertEqual(s.text(0)[:10], '01   56789')
        s = screen(b'\x1b[44mab\x1b[K')  # erasing takes the background colour only
        self.assertEqual(s.cells[0][5], (' ', ('44',)))

    def test_scroll_region_leaves_the_status_row_alone(self):
        rows = b''.join(b'\x1b[%dHrow%d' % (y + 1, y) for y in range(24))
        s = screen(rows + b'\x1b[1;23r\x1b[23H\n\n')
        self.assertEqual(s.text(0)[:4], 'row2')
        self.assertEqual(s.text(20)[:5], 'row22')
        self.assertEqual(s.text(21).strip(), '')
        self.assertEqual(s.text(23)[:5], 'row23')
        s.feed(b'\x1b[H\x1bM')  # reverse index at the top of the region
        self.assertEqual((s.text(0).strip(), s.text(1)[:4]), ('', 'row2'))
        s.feed(b'\x1b[r\x1b[24H\n')  # the whole screen again
        self.assertEqual(s.text(22)[:5], 'row23')
        s = screen(rows + b'\x1b[1;23r\x1b[3S\x1b[r')
        self.assertEqual((s.text(0)[:4], s.text(23)[:5]), ('row3', 'row23'))

    def test_insert_and_delete_lines_within_the_region(self):
        rows = b''.join(b'\x1b[%dHrow%d' % (y + 1, y) for y in range(24))
        s = screen(rows + b'\x1b[1;23r\x1b[5H\x1b[2L')
        self.assertEqual((s.text(4).strip(), s.text(6)[:4], s.text(22)[:5], s.text(23)[:5]),
                         ('', 'row4', 'row20', 'row23'))
        s.feed(b'\x1b[5H\x1b[2M')
        self.assertEqual((s.text(4)[:4], s.text(22).strip()), ('row4', ''))

    def test_autowrap_at_the_last_column(self):
        s = screen(b'x' * 81)
        self.assertEqual((s.text(0), s.text(1)[:2]), ('x' * 80, 'x '))
        # the last cell of the screen can be written without scrolling it
        s = screen(b'top\x1b[24;1H' + b's' * 80)
        self.assertEqual((s.text(0)[:3], s.text(23), (s.r, s.c)), ('top', 's' * 80, (23, 79)))
        s.feed(b'\r')
        s.feed(b'!')
        self.assertEqual((s.text(0)[:3], s.text(23)[:2]), ('top', '!s'))

    def test_sequences_split_across_reads(self):
        data = b'ab\x1b[1;7mcd\x1b[m\x1b]0;title\x07\xc3\xa9\x1b[3;4Hz'
        whole = screen(data)
        for cut in range(1, len(data)):
            s = tm.Screen()
            s.feed(data[:cut])
            s.feed(data[cut:])
            self.assertEqual(s.snapshot(), whole.snapshot(), cut)
        self.assertEqual(whole.text(0)[:5], 'abcdé')

    def test_modes_and_queries_leave_the_screen(self):
        s = screen(b'ab\x1b[?1h\x1b=\x1b[?25l\x1b[>c\x1b[6n\x1b(B\x1b[2 q\x1b[?1049h')
        self.assertTrue(s.app_cursor)
        self.assertEqual(s.text(0).strip(), '')  # the alternate screen starts blank
        s.feed(b'\x1b[?1049l\x1b[?1l')
        self.assertEqual((s.text(0)[:2], s.app_cursor), ('ab', False))


def naive_bytes(before, after):
    """A plain renderer: for every changed row, position at its first changed cell and write to the row's end."""
    (bgrid, _, _), (agrid, (r, c), _) = before, after
    out = b''
    for y, (old, new) in enumerate(zip(bgrid, agrid)):
        if old == new:
            continue
        x = next(i for i in range(len(new)) if old[i] != new[i])
        out += b'\x1b[%d;%dH' % (y + 1, x + 1)
        attr = ()
        for ch, a in new[x:]:
            if a != attr:
                out += b'\x1b[0;' + ';'.join(a).encode() + b'm' if a else b'\x1b[m'
                attr = a
            out += ch.encode()
        if attr:
            out += b'\x1b[m'
    return out + b'\x1b[%d;%dH' % (r + 1, c + 1)


class FewestBytesTest(unittest.TestCase):
    def test_small_cases(self):
        s = screen(b'hello\x1b[24;1Hstatus\x1b[H')
        same = s.snapshot()
        self.assertEqual(tm.ideal_bytes(same, same), 0)
        s.feed(b'\x1b[2;1H')  # the cursor alone: ESC [ 2 H, or CR LF from the home position
        self.assertEqual(tm.ideal_bytes(same, s.snapshot()), 2)
        t = screen(b'hello\x1b[24;1Hstatus\x1b[H\x1b[1;3HL\x1b[H')
        # ESC [ 2 C, the cell, then CR
        self.assertEqual(tm.ideal_bytes(same, t.snapshot()), 4 + 1 + 1)
        u = screen(b'hello\x1b[24;1Hstatus\x1b[1;3H\x1b[7mL\x1b[m')
        self.assertEqual(tm.ideal_bytes(same, u.snapshot()), 4 + 4 + 1)  # ESC [ 2 C, ESC [ 7 m, the cell
        far = screen(b'hello\x1b[24;1Hstatus\x1b[20;30Hf\x1b[H')
        self.assertEqual(tm.ideal_bytes(same, far.snapshot()), 8 + 1 + 3)  # ESC [ 20 ; 30 H, the cell, ESC [ H
        # a long blank tail is erased rather than written
        long = screen(b'x' * 70 + b'\x1b[H')
        short = screen(b'x\x1b[H')
        self.assertEqual(tm.ideal_bytes(long.snapshot(), short.snapshot()), 3 + 3 + 1)  # ESC [ C, EL, CR

    def test_scrolling_is_cheaper_than_repainting(self):
        rng = random.Random(2)
        lines = [bytes(rng.choice(b'abcdefgh ') for _ in range(50)) for i in range(40)]

        def window(top):
            return screen(b''.join(b'\x1b[%dH' % (y + 1) + lines[top + y] for y in range(23)) +
                          b'\x1b[24Hstatus\x1b[23;1H').snapshot()

        down = tm.ideal_bytes(window(0), window(1))
        repaint = tm.repaint_cost(window(0)[0], window(1)[0], window(0)[1], window(1)[1])
        self.assertLess(down, 90)
        self.assertLess(down, repaint / 10)
        up = tm.ideal_bytes(window(5), window(3))
        self.assertLess(up, 2 * 60 + 40)
        # one new row of 50 cells, the region to set (ESC [ 1 ; 2 3 r), LF at the bottom (ESC [ 2 3 H, LF), and
        # the cursor back on the last text row: nothing left to move
        self.assertEqual(down, 7 + 5 + 1 + 50 + 1)
        # with the region already in force it costs nothing to set, and the cursor already stands at the bottom
        s = screen(b'\x1b[1;23r')
        for y in range(23):
            s.feed(b'\x1b[%dH' % (y + 1) + lines[y])
        s.feed(b'\x1b[24Hstatus\x1b[23;1H')
        self.assertEqual(tm.ideal_bytes(s.snapshot(), window(1)), 1 + 50 + 1)

    def test_a_place_passed_is_saved_and_returned_to(self):
        before = screen(b'hello\x1b[24;1Hstatus\x1b[6;11H')
        after = screen(b'hello\x1b[24;1Hstatus\x1b[24;61Hx\x1b[6;11H')
        # ESC 7, ESC [ 2 4 ; 6 1 H, the cell, ESC 8 rather than ESC [ 6 ; 1 1 H at the end
        self.assertEqual(tm.ideal_bytes(before.snapshot(), after.snapshot()), 2 + 8 + 1 + 2)

    def test_a_row_that_stays_may_be_mended_before_the_scroll(self):
        # the cursor's highlight leaves the bottom row as the window moves up by one: mending that cell where
        # the cursor stands, then CR and LF, beats scrolling first and moving back up to it (ESC [ A)
        def window(top, highlight):
            s = screen(b'\x1b[1;23r')
            for y in range(23):
                s.feed(b'\x1b[%dH' % (y + 1) + (b'\x1b[1mx\x1b[m' if y == highlight else b'x') + b'row %d' % (top + y))
            s.feed(b'\x1b[24Hstatus\x1b[%d;1H' % (highlight + 1))
            return s.snapshot()

        # the cell, CR, LF, bold and the new row's first cell, plain and the rest of it, CR
        self.assertEqual(tm.ideal_bytes(window(0, 22), window(1, 22)), 1 + 1 + 1 + 4 + 1 + 3 + 6 + 1)

    def test_never_above_what_a_plain_renderer_sends(self):
        # random screens and random changes: the model reproduces what the renderer drew, and the estimate is
        # never more than those bytes
        rng = random.Random(1)
        for trial in range(60):
            base = b''.join(b'\x1b[%dH' % (y + 1) + bytes(rng.choice(b'abc  ') for _ in range(rng.randint(0, 80)))
                            for y in range(24))
            before = screen(base)
            want = screen(base)
            for _ in range(rng.randint(0, 6)):
                y, x = rng.randrange(24), rng.randrange(80)
                attr = rng.choice([b'', b'\x1b[7m', b'\x1b[1;4m'])
                want.feed(b'\x1b[%d;%dH' % (y + 1, x + 1) + attr + b'Z' * rng.randint(1, 80 - x) + b'\x1b[m')
            if rng.random() < 0.3:
                want.feed(b'\x1b[1;23r\x1b[23H\n\x1b[r')
            want.feed(b'\x1b[%d;%dH' % (rng.randint(1, 24), rng.randint(1, 80)))
            sent = naive_bytes(before.snapshot(), want.snapshot())
            drawn = screen(base)
            drawn.feed(sent)
            self.assertEqual(drawn.snapshot(), want.snapshot(), trial)
            self.assertLessEqual(tm.ideal_bytes(before.snapshot(), want.snapshot()), len(sent), trial)


class SettleTest(unittest.TestCase):
    """The settle test against small shell programs in a real pseudo-terminal."""

    def spawn(self, script):
        return run.Session(['/bin/sh', '-c', script], {'PATH': '/usr/bin:/bin', 'TERM': 'xterm'}, model=True)

    def test_a_sleep_is_not_a_wait_for_input(self):
        s = self.spawn('sleep 0.3; printf ready; read x')
        try:
            t = s.settle(5)
            self.assertGreaterEqual(t - s.start, 0.3)
            self.assertEqual(s.out, 5)
            self.assertEqual(s.screen.text(0)[:5], 'ready')
        finally:
            s.close(dict(esc='', quit='', discard=''))

    def test_input_still_unread_is_not_settled(self):
        # the program only reads its input after a pause; the figure must include that pause and the reply
        s = self.spawn('stty -echo; printf go; read x; sleep 0.2; read y; printf "got $y"; read z')
        try:
            s.settle(5)
            s.send('a\nb\n')  # b waits in the terminal while the program sleeps
            t0 = time.perf_counter()
            s.settle(5)
            self.assertGreaterEqual(time.perf_counter() - t0, 0.2)
            self.assertIn('got b', s.screen.text(0))
        finally:
            s.close(dict(esc='', quit='', discard=''))

    def test_timed_keys_wait_for_the_reply(self):
        s = self.spawn('stty raw -echo; printf go; read x; sleep 0.2; printf done; read y')
        try:
            s.settle(5)
            t0 = time.perf_counter()
            ms, n = s.timed('k\n', 5)
            self.assertGreaterEqual(ms, 200)
            self.assertLess(ms, (time.perf_counter() - t0) * 1000 + 1)
            self.assertEqual(n, 4)
        finally:
            s.close(dict(esc='', quit='', discard=''))


    def test_the_do_nothing_program_answers_every_key(self):
        here, work = os.getcwd(), tempfile.mkdtemp()
        try:
            prog = os.path.join(work, 'baseline')
            subprocess.run(['cc', '-O2', '-o', prog, os.path.join(run.HERE, 'baseline.c')], check=True)
            text = os.path.join(work, 'small.txt')
            with open(text, 'w') as f:
                f.write('a line\n')
            os.mkdir(os.path.join(work, 'work'))
            os.chdir(os.path.join(work, 'work'))  # the driver runs inside its scratch directory
            res = run.Results()
            run.measure_round_trip(work, os.path.join(work, 'work'), {'TERM': 'xterm'}, res, 'trip100_ms')
            times = res.get('trip100_ms', 'baseline')
            self.assertEqual(len(times), run.PACED)
            self.assertTrue(all(0 < t < 1000 for t in times))
        finally:
            os.chdir(here)
            shutil.rmtree(work)


class FilesTest(unittest.TestCase):
    def test_each_search_word_is_on_its_own_line_only(self):
        path = '/tmp/zt-bench-test-%d.txt' % os.getpid()
        try:
            lines, middle = run.write_big(path, 3 * 1000 * 1000)
            with open(path, 'rb') as f:
                data = f.read()
        finally:
            os.unlink(path)
        self.assertLessEqual(abs(len(data) - 3 * 1000 * 1000), 100)
        self.assertEqual(data.count(b'\n'), lines)
        self.assertTrue(data.endswith(b'\n'))
        text = data.decode().split('\n')
        self.assertEqual(data.lower().count(run.UNIQUE.encode()), 1)
        self.assertEqual(text[lines - 1], run.LAST_LINE)
        self.assertEqual(data.lower().count(run.MIDDLE.encode()), 1)
        self.assertEqual(text[middle - 1], run.MIDDLE_LINE)
        self.assertLess(abs(data.index(run.MIDDLE.encode()) - len(data) / 2), 100)
        self.assertTrue(60 <= len(data) / lines <= 80)


class VerdictTest(unittest.TestCase):
    """The met? column: each target read the way the table states it."""

    META = {'big100.txt': {'size': 100 << 20, 'lines': 1}, 'line20m.txt': {'size': 20 << 20, 'lines': 1}}
    LIMITS = {'big100.txt': {'read': (50, 50, 50), 'memchr': (10, 10, 10), 'memmove': (5, 5, 5),
                             'write_fsync': (60, 60, 60)}}

    def verdicts(self, samples, ideal=None):
        res = run.Results()
        for (fig, ed), values in samples.items():
            if isinstance(values, str):
                res.fail(fig, ed, values)
            else:
                for v in values:
                    res.add(fig, ed, v)
        eds = dict.fromkeys(['zt', 'jstar', 'jpico', 'busybox vi', 'mg'])
        rows = run.build_rows(res, ideal or {}, self.LIMITS, self.META, eds, False)
        return {r['fig']: r for r in rows}

    def test_ratios_to_the_limits(self):
        v = self.verdicts({('first_ms', 'zt'): [3.0, 3.3, 2.0], ('first_ms', 'baseline'): [2.8],
                           ('open100_ms', 'zt'): [61], ('search100_ms', 'zt'): [20.5],
                           ('save100_ms', 'zt'): [78], ('open100_rss', 'zt'): [108.5]})
        self.assertEqual(v['first_ms']['zt'], (3.0, 2.0, 3.3))
        self.assertTrue(v['first_ms']['met'])  # the median 3.0 is within 1.1 x 2.8
        self.assertFalse(v['open100_ms']['met'])  # 61 > 1.2 x 50
        self.assertFalse(v['search100_ms']['met'])
        self.assertTrue(v['save100_ms']['met'])
        self.assertFalse(v['open100_rss']['met'])  # 100 MiB + 8 MiB is the most

    def test_bytes_need_both_the_peer_and_the_fewest(self):
        v = self.verdicts({('down_bytes', 'zt'): [40], ('down_bytes', 'jstar'): [45], ('down_bytes', 'mg'): [10],
                           ('char_bytes', 'zt'): [40], ('char_bytes', 'jstar'): [45], ('char_bytes', 'mg'): [39],
                           ('del_bytes', 'zt'): [40], ('del_bytes', 'jstar'): [45],
                           ('pgdn_bytes', 'zt'): [400]},
                          ideal={'down_bytes': [30], 'char_bytes': [30], 'del_bytes': [20], 'pgdn_bytes': [300]})
        self.assertEqual(v['down_bytes']['peer_name'], 'jstar')  # mg shows no line:column
        self.assertTrue(v['down_bytes']['met'])
        self.assertEqual(v['char_bytes']['peer_name'], 'mg')  # a typed character against every peer
        self.assertFalse(v['char_bytes']['met'])
        self.assertFalse(v['del_bytes']['met'])  # 40 > 1.5 x 20
        self.assertFalse(v['pgdn_bytes']['met'])  # no jpico figure: not met

    def test_a_paced_key_needs_both_a_millisecond_and_the_peer(self):
        v = self.verdicts({('key100_ms', 'zt'): [0.5], ('key100_ms', 'mg'): [0.3],
                           ('mid100_ms', 'zt'): [1.5], ('mid100_ms', 'mg'): [20],
                           ('end100_ms', 'zt'): [0.3], ('end100_ms', 'mg'): [0.3],
                           ('chars100_ms', 'zt'): [15], ('chars100_ms', 'mg'): [20],
                           ('returns100_ms', 'zt'): [5]})
        self.assertFalse(v['key100_ms']['met'])
        self.assertFalse(v['mid100_ms']['met'])
        self.assertTrue(v['end100_ms']['met'])
        self.assertTrue(v['chars100_ms']['met'])  # 3 x the memmove no longer matters
        self.assertFalse(v['returns100_ms']['met'])  # no peer: not met

    def test_the_round_trip_stands_under_every_paced_key(self):
        v = self.verdicts({('key100_ms', 'zt'): [0.25], ('key100_ms', 'mg'): [0.2], ('end100_ms', 'zt'): [0.2],
                           ('trip100_ms', 'baseline'): [0.1, 0.3, 0.2]})
        self.assertEqual(v['key100_ms']['limit'], (0.2, 0.1, 0.3))
        self.assertEqual(v['end100_ms']['limit'], (0.2, 0.1, 0.3))
        self.assertFalse(v['key100_ms']['met'])  # the floor does not excuse being behind mg

    def test_a_figure_that_failed_is_never_met(self):
        v = self.verdicts({('search100_ms', 'zt'): 'search did not reach the last line',
                           ('key100_ms', 'zt'): [9], ('key100_ms', 'mg'): [0.3]})
        self.assertIsNone(v['search100_ms']['met'])
        self.assertEqual(v['search100_ms']['why'], 'search did not reach the last line')
        self.assertFalse(v['key100_ms']['met'])  # behind mg


class ChartTest(unittest.TestCase):
    def test_draws_every_figure_of_a_small_table(self):
        py = run.chart_python(install=False)
        if py is None:
            self.skipTest('no matplotlib here (the bench installs python3-matplotlib)')
        rows = [
            dict(label='first screen, 2 KB file (ms)', zt=(1.4, 1.1, 3.1), peer=(2.1, 1.6, 3.0), peer_name='busybox vi',
                 limit=(1.3, 1.1, 2.1), limit_label='do-nothing C', target='≤ 1.1× do-nothing', met=True, why=None),
            dict(label='one key in the middle of 100 MB (ms)', zt=(5.0, 4.0, 6.0), peer=(0.3, 0.2, 0.4),
                 peer_name='mg', limit=None, limit_label='', target='< 1 ms, ≤ best peer', met=False, why=None),
            dict(label='save 100 MB after one change (ms)', zt=None, peer=None, peer_name=None, limit=(212, 206, 222),
                 limit_label='write+fsync', target='≤ 1.3× write+fsync', met=None, why='file not saved'),
            dict(label='paste 1 MB at the start of 100 MB (ms)', zt=(39.6, 25.3, 41.1), peer=None, peer_name=None,
                 limit=None, limit_label='', target='≤ 250 ms', met=True, why=None),
        ]
        tmp = tempfile.mkdtemp()
        try:
            with open(os.path.join(tmp, 'rows.json'), 'w') as f:
                json.dump(rows, f)
            out = os.path.join(tmp, 'chart.svg')
            r = subprocess.run([py, os.path.join(os.path.dirname(run.__file__), 'chart.py'),
                                os.path.join(tmp, 'rows.json'), out], capture_output=True, text=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            texts = [''.join(e.itertext()) for e in ET.parse(out).iter('{http://www.w3.org/2000/svg}text')]
        finally:
            shutil.rmtree(tmp)
        for row in rows:
            self.assertIn(row['label'], texts)


if __name__ == '__main__':
    unittest.main()
