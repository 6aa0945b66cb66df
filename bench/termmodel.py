"""A small model of an xterm-like terminal, and the fewest bytes that turn one screen into another.

The model keeps a grid of cells (character, attribute) and the cursor. It understands what the editors under test
send on an 80x24 xterm: CUP/HVP, HPA/VPA, CUU/CUD/CUF/CUB/CNL/CPL, EL, ED, IL/DL, ICH/DCH/ECH, SU/SD, REP, the
scroll region (DECSTBM), SGR with any number of parameters (256-colour and true-colour forms included), save and
restore of the cursor, the alternate screen, LF/VT/FF/CR/BS/HT/BEL, RI/IND/NEL, and autowrap at the last column.
Anything else (mode switches, OSC titles, queries, charset selection) is parsed and ignored.
"""

import re

DEFAULT = ()  # attribute: sorted tuple of SGR codes in force; () is the default rendition
BLANK = (' ', DEFAULT)


class Screen:
    def __init__(self, rows=24, cols=80):
        self.rows, self.cols = rows, cols
        self.cells = [[BLANK] * cols for _ in range(rows)]
        self.r = self.c = 0
        self.attr = DEFAULT
        self.top, self.bottom = 0, rows - 1
        self.wrap_pending = False
        self.saved = (0, 0, DEFAULT)
        self.main_cells = None  # the main screen while the alternate one is shown
        self.app_cursor = False  # DECCKM: the cursor keys send ESC O x instead of ESC [ x
        self.pending = ''

    # --- inspection ---------------------------------------------------------------------------------------------
    def snapshot(self):
        return tuple(tuple(row) for row in self.cells), (self.r, self.c), (self.top, self.bottom)

    def text(self, row):
        return ''.join(ch for ch, _ in self.cells[row])

    def lines(self):
        return [self.text(r) for r in range(self.rows)]

    # --- input --------------------------------------------------------------------------------------------------
    def feed(self, data):
        s = self.pending + data.decode('latin-1')
        self.pending = ''
        i, n = 0, len(s)
        while i < n:
            ch = s[i]
            o = ord(ch)
            if ch == '\x1b':
                j = self._escape(s, i)
                if j is None:  # incomplete: wait for the rest
                    self.pending = s[i:]
                    return
                i = j
            elif o < 32 or o == 127:
                self._control(ch)
                i += 1
            elif o < 128:
                self._put(ch)
                i += 1
            else:
                # UTF-8: the lead byte gives the length; every character is taken as one cell wide
                length = 2 if o >= 0xC0 and o < 0xE0 else 3 if o >= 0xE0 and o < 0xF0 else 4 if o >= 0xF0 else 1
                if i + length > n:
                    self.pending = s[i:]
                    return
                raw = s[i:i + length].encode('latin-1')
                self._put(raw.decode('utf-8', 'replace')[:1] or '?')
                i += length

    def _escape(self, s, i):
        """Handles the sequence at s[i] (an ESC); returns the index after it, or None when it is incomplete."""
        if i + 1 >= len(s):
            return None
        nx = s[i + 1]
        if nx == '[':
            j = i + 2
            while j < len(s) and not ('\x40' <= s[j] <= '\x7e'):
                j += 1
            if j >= len(s):
                return None
            self._csi(s[i + 2:j], s[j])
            return j + 1
        if nx in ']P_^':  # OSC, DCS, APC, PM: up to BEL or ST
            m = re.compile(r'\x07|\x1b\\').search(s, i + 2)
            if not m:
                return None
            return m.end()
        if nx in '()*+#%':
            return None if i + 2 >= len(s) else i + 3
        if nx == 'M':
            self._reverse_index()
        elif nx == 'D':
            self._linefeed()
        elif nx == 'E':
            self.c = 0
            self._linefeed()
        elif nx == '7':
            self.saved = (self.r, self.c, self.attr)
        elif nx == '8':
            self.r, self.c, self.attr = self.saved
            self.wrap_pending = False
        elif nx == 'c':
            self.__init__(self.rows, self.cols)
        return i + 2

    def _control(self, ch):
        if ch in '\n\x0b\x0c':
            self._linefeed()
        elif ch == '\r':
            self.c = 0
            self.wrap_pending = False
        elif ch == '\b':
            if self.c > 0:
                self.c -= 1
            self.wrap_pending = False
        elif ch == '\t':
            self.c = min(self.cols - 1, (self.c // 8 + 1) * 8)
        # BEL and the rest change nothing on the screen

    def _put(self, ch):
        if self.wrap_pending:
            self.c = 0
            self._linefeed()
        self.cells[self.r][self.c] = (ch, self.attr)
        if self.c == self.cols - 1:
            self.wrap_pending = True
        else:
            self.c += 1

    def _linefeed(self):
        self.wrap_pending = False
        if self.r == self.bottom:
            self._scroll_up(1)
        elif self.r < self.rows - 1:
            self.r += 1

    def _reverse_index(self):
        self.wrap_pending = False
        if self.r == self.top:
            self._scroll_down(1)
        elif self.r > 0:
            self.r -= 1

    def _blank_row(self):
        return [(' ', self._erase_attr())] * self.cols

    def _erase_attr(self):
        # erasing fills with the background in force; other renditions do not apply
        return tuple(a for a in self.attr if code_group(a) == '4x')

    def _scroll_up(self, k, top=None):
        top = self.top if top is None else top
        for _ in range(k):
            del self.cells[top]
            self.cells.insert(self.bottom, self._blank_row())

    def _scroll_down(self, k, top=None):
        top = self.top if top is None else top
        for _ in range(k):
            del self.cells[self.bottom]
            self.cells.insert(top, self._blank_row())

    def _csi(self, params, final):
        private = params[:1] in ('?', '>', '<', '=')
        if private:
            body = params[1:]
            if params[0] == '?' and final in 'hl':
                for p in body.split(';'):
                    if p == '1':
                        self.app_cursor = final == 'h'
                    if p in ('1049', '1047', '47'):
                        self._alternate(final == 'h')
            return
        if any(ch in params for ch in ' !"$\''):  # intermediate bytes: DECSCUSR, soft reset and the like
            return
        args = [int(p) if p.isdigit() else None for p in params.split(';')] if params else []

        def arg(k, default=1):
            v = args[k] if k < len(args) else None
            return default if v is None or (v == 0 and default == 1) else v

        self.wrap_pending = False if final != 'm' else self.wrap_pending
        rows, cols = self.rows, self.cols
        if final in 'Hf':
            self.r = min(rows - 1, arg(0) - 1)
            self.c = min(cols - 1, arg(1) - 1)
        elif final == 'A':
            self.r = max(self.top if self.r >= self.top else 0, self.r - arg(0))
        elif final == 'B':
            self.r = min(self.bottom if self.r <= self.bottom else rows - 1, self.r + arg(0))
        elif final in 'Ca':
            self.c = min(cols - 1, self.c + arg(0))
        elif final == 'D':
            self.c = max(0, self.c - arg(0))
        elif final == 'E':
            self.r = min(rows - 1, self.r + arg(0))
            self.c = 0
        elif final == 'F':
            self.r = max(0, self.r - arg(0))
            self.c = 0
        elif final in 'G`':
            self.c = min(cols - 1, arg(0) - 1)
        elif final == 'd':
            self.r = min(rows - 1, arg(0) - 1)
        elif final == 'K':
            mode = arg(0, 0)
            lo, hi = (self.c, cols) if mode == 0 else (0, self.c + 1) if mode == 1 else (0, cols)
            row = self.cells[self.r]
            for x in range(lo, hi):
                row[x] = (' ', self._erase_attr())
        elif final == 'J':
            mode = arg(0, 0)
            if mode == 0:
                self._csi('', 'K')
                rng = range(self.r + 1, rows)
            elif mode == 1:
                self._csi('1', 'K')
                rng = range(0, self.r)
            else:
                rng = range(rows)
            for y in rng:
                self.cells[y] = self._blank_row()
        elif final in 'LM':
            if self.top <= self.r <= self.bottom:
                k = min(arg(0), self.bottom - self.r + 1)
                (self._scroll_down if final == 'L' else self._scroll_up)(k, top=self.r)
                self.c = 0
        elif final == '@':
            row = self.cells[self.r]
            k = min(arg(0), cols - self.c)
            self.cells[self.r] = row[:self.c] + [(' ', self._erase_attr())] * k + row[self.c:cols - k]
        elif final == 'P':
            row = self.cells[self.r]
            k = min(arg(0), cols - self.c)
            self.cells[self.r] = row[:self.c] + row[self.c + k:] + [(' ', self._erase_attr())] * k
        elif final == 'X':
            row = self.cells[self.r]
            for x in range(self.c, min(cols, self.c + arg(0))):
                row[x] = (' ', self._erase_attr())
        elif final == 'S':
            self._scroll_up(arg(0))
        elif final == 'T':
            self._scroll_down(arg(0))
        elif final == 'b':
            prev = self.cells[self.r][self.c - 1][0] if self.c > 0 else ' '
            for _ in range(arg(0)):
                self._put(prev)
        elif final == 'r':
            top, bottom = arg(0) - 1, arg(1, rows) - 1
            if bottom <= 0 or bottom >= rows:
                bottom = rows - 1
            if top < bottom:
                self.top, self.bottom = top, bottom
            self.r = self.c = 0
        elif final == 'm':
            self.attr = apply_sgr(self.attr, params)
        elif final == 's':
            self.saved = (self.r, self.c, self.attr)
        elif final == 'u':
            self.r, self.c, self.attr = self.saved
        # n (reports), c (device attributes), t (window), h/l (modes), q: nothing on the screen

    def _alternate(self, on):
        if on and self.main_cells is None:
            self.main_cells = self.cells
            self.cells = [[BLANK] * self.cols for _ in range(self.rows)]
        elif not on and self.main_cells is not None:
            self.cells = self.main_cells
            self.main_cells = None


def apply_sgr(attr, params):
    """The attribute after SGR `params`: a sorted tuple of the codes in force, colours grouped with their group."""
    state = dict((code_group(a), a) for a in attr)
    parts = params.split(';') if params else ['0']
    i = 0
    while i < len(parts):
        p = parts[i] or '0'
        if p in ('38', '48', '58') and i + 1 < len(parts):
            span = 3 if parts[i + 1] == '5' else 5 if parts[i + 1] == '2' else 2
            state[p[0] + 'x'] = ';'.join(parts[i:i + span])
            i += span
            continue
        n = int(p) if p.isdigit() else 0
        if n == 0:
            state.clear()
        elif n == 22:
            state.pop('1', None)
            state.pop('2', None)
        elif 23 <= n <= 29:
            state.pop(str(n - 20), None)
        elif n == 39:
            state.pop('3x', None)
        elif n == 49:
            state.pop('4x', None)
        elif 30 <= n <= 37 or 90 <= n <= 97:
            state['3x'] = p
        elif 40 <= n <= 47 or 100 <= n <= 107:
            state['4x'] = p
        elif 1 <= n <= 9:
            state[str(n)] = str(n)
        i += 1
    return tuple(sorted(state.values()))


def code_group(code):
    """Codes of one group replace each other: foreground colours, background colours, underline colours."""
    if code.startswith(('38', '48', '58')):
        return code[0] + 'x'
    if len(code) == 2 and code[0] in '39' or len(code) == 3 and code[:2] == '10':
        return '3x' if code[0] in '39' else '4x'
    if len(code) == 2 and code[0] == '4':
        return '4x'
    return code


# --- the fewest bytes from one screen to the next ---------------------------------------------------------------

def cup(r, c):
    if r == 0 and c == 0:
        return 3  # ESC [ H
    if c == 0:
        return 3 + len(str(r + 1))  # ESC [ r H
    return 4 + len(str(r + 1)) + len(str(c + 1))  # ESC [ r ; c H


def move_cost(fr, fc, tr, tc):
    """The shortest cursor sequence from (fr, fc) to (tr, tc), rows and columns 0-based."""
    if (fr, fc) == (tr, tc):
        return 0
    best = cup(tr, tc)
    if fr == tr:
        if tc == 0:
            best = min(best, 1)  # CR
        elif tc > fc:
            n = tc - fc
            best = min(best, 3 if n == 1 else 3 + len(str(n)))  # CUF
        else:
            n = fc - tc
            best = min(best, n, 3 if n == 1 else 3 + len(str(n)))  # BS or CUB
    elif tr == fr + 1:
        if tc == 0:
            best = min(best, 2)  # CR LF
        elif tc == fc:
            best = min(best, 1)  # LF
    return best


def sgr_cost(a, b):
    """Bytes of the shortest SGR that changes rendition a into b."""
    if a == b:
        return 0
    if not b:
        return 3  # ESC [ m
    added = [x for x in b if x not in a]
    replaced = {code_group(x) for x in added}
    if all(code_group(x) in replaced for x in a if x not in b):
        return 3 + len(';'.join(added))  # only what is new
    return 4 + len(';'.join(b))  # ESC [ ; ... m: reset, then all of b


def repaint_cost(before, after, cursor, final, attr=DEFAULT, rows=None):
    """Bytes to turn cell grid `before` into `after` without scrolling: for each run of changed cells one cursor
    sequence, the SGR it needs and the cells; short unchanged gaps are written over when that is cheaper than a
    new cursor sequence; a changed tail that is blank to the end of the row may be erased with EL instead."""
    r0, c0 = cursor
    total = 0
    # a place the cursor stands on with default rendition can be saved (ESC 7) and returned to (ESC 8)
    passes_final = (r0, c0) == tuple(final) and attr == DEFAULT
    for y in range(len(after) if rows is None else rows):
        old, new = before[y], after[y]
        if old == new:
            continue
        changed = [x for x in range(len(new)) if old[x] != new[x]]
        # the blank tail of the new row, where EL may stand in for the cells
        tail = len(new)
        while tail > 0 and new[tail - 1] == BLANK:
            tail -= 1
        runs = []
        for x in changed:
            if runs and x - runs[-1][1] <= 4:
                runs[-1][1] = x + 1
            else:
                runs.append([x, x + 1])
        for lo, hi in runs:
            total += move_cost(r0, c0, y, lo)
            passes_final = passes_final or ((y, lo) == tuple(final) and attr == DEFAULT)
            if hi > tail and lo < hi:
                write_hi = max(lo, tail)
                cells = new[lo:write_hi]
                el = 3 + sgr_cost(attr if not cells else cells[-1][1], DEFAULT)
                blanks = hi - write_hi
                for ch, a in cells:
                    total += sgr_cost(attr, a) + len(ch.encode('utf-8'))
                    attr = a
                if el < blanks + sgr_cost(attr, DEFAULT):
                    total += el
                    attr = DEFAULT
                    c0 = write_hi
                else:
                    total += sgr_cost(attr, DEFAULT) + blanks
                    attr = DEFAULT
                    c0 = hi
            else:
                for ch, a in new[lo:hi]:
                    total += sgr_cost(attr, a) + len(ch.encode('utf-8'))
                    attr = a
                c0 = hi
            r0 = y
            if c0 >= len(new):  # the cursor waits at the last column; count a full positioning next time
                c0 = len(new) + 99
            passes_final = passes_final or ((r0, c0) == tuple(final) and attr == DEFAULT)
    back = move_cost(r0, c0, final[0], final[1])
    return total + (min(back, 4) if passes_final else back)


def ideal_bytes(before, after, text_rows=None):
    """The fewest bytes, as far as this estimate goes, from screen `before` to screen `after` (each a snapshot:
    grid, cursor, scroll region). Besides repainting it tries letting the terminal scroll the text rows (a scroll
    region that leaves the rows below alone, set unless it already is, and left set) by the shifts that keep most
    rows, then repainting what is left, with the rows that stay in view mended either after the scroll or before it."""
    (bgrid, bcur, bregion), (agrid, acur, _) = before, after
    rows = len(agrid)
    text_rows = rows - 1 if text_rows is None else text_rows
    best = repaint_cost(bgrid, agrid, bcur, acur)
    shifts = []
    for k in range(1, text_rows):
        up = sum(1 for y in range(text_rows - k) if agrid[y] == bgrid[y + k] and agrid[y] != bgrid[y])
        down = sum(1 for y in range(k, text_rows) if agrid[y] == bgrid[y - k] and agrid[y] != bgrid[y])
        shifts.append((up, k))
        shifts.append((down, -k))
    shifts.sort(reverse=True)
    blank = tuple([BLANK] * len(agrid[0]))
    bottom = text_rows - 1
    if bregion == (0, bottom):
        region, cur = 0, bcur
    else:
        region, cur = 5 + len(str(text_rows)), (0, 0)  # ESC [ 1 ; R r, which homes the cursor
    for kept, k in shifts[:2]:
        if kept == 0:
            break
        n = abs(k)
        text = list(bgrid[:text_rows])
        if k > 0:
            text = text[n:] + [blank] * n
            ways = [(move_cost(*cur, bottom, 0) + n, (bottom, 0)),  # line feeds at the bottom
                    (3 + (len(str(n)) if n > 1 else 0), cur)]  # SU
        else:
            text = [blank] * n + text[:-n]
            ways = [(move_cost(*cur, 0, 0) + 2 * n, (0, 0)),  # reverse index at the top
                    (3 + (len(str(n)) if n > 1 else 0), cur)]  # SD
        shifted = tuple(text) + tuple(bgrid[text_rows:])
        for cost, at in ways:
            best = min(best, region + cost + repaint_cost(shifted, agrid, at, acur))
        # or first mend the rows that stay in view where they still are, then scroll at the margin
        inter = list(bgrid)
        for y in range(text_rows - n):
            inter[y + n if k > 0 else y] = agrid[y if k > 0 else y + n]
        margin = (bottom, 0) if k > 0 else (0, 0)
        mended = repaint_cost(bgrid, tuple(inter), cur, margin)
        text = list(inter[:text_rows])
        text = text[n:] + [blank] * n if k > 0 else [blank] * n + text[:-n]
        shifted = tuple(text) + tuple(inter[text_rows:])
        best = min(best, region + mended + (n if k > 0 else 2 * n) + repaint_cost(shifted, agrid, margin, acur))
    return best
