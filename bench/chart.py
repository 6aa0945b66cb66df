"""The bench's table as a chart: for each figure, zt over the best peer and zt over the machine's limit, as bars
from 1 on a log scale (left of the line, zt is below; right, above), with the target and whether it was met.

    python3 bench/chart.py ROWS.json OUT.svg [OUT.svg ...] [--note TEXT]

ROWS.json holds the rows of run.build_rows. Needs matplotlib (Debian's python3-matplotlib).
"""

import json
import sys

import matplotlib

matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.patches import Patch  # noqa: E402
from matplotlib.ticker import FixedLocator, NullLocator  # noqa: E402

PEER, LIMIT = '#4c72b0', '#dd8452'
MET, MISSED = '#2a7d2a', '#b22222'


def ratio(row, key):
    zt, other = row.get('zt'), row.get(key)
    if not zt or not other or other[0] <= 0 or zt[0] <= 0:
        return None
    return zt[0] / other[0]


def number(v):
    return f'{v:.0f}' if v >= 100 else f'{v:.3g}'


def draw(rows, paths, note=''):
    plt.rcParams['svg.fonttype'] = 'none'  # text stays text in the SVG: smaller, and it can be searched
    plt.rcParams['font.size'] = 9
    n = len(rows)
    fig, ax = plt.subplots(figsize=(11, 0.34 * n + 1.6))
    ratios = []
    for i, row in enumerate(rows):
        y = n - 1 - i
        for key, dy, colour in (('peer', 0.17, PEER), ('limit', -0.17, LIMIT)):
            v = ratio(row, key)
            if v is None:
                continue
            ratios.append(v)
            ax.barh(y + dy, v - 1, left=1, height=0.32, color=colour)
            ax.text(v * (1.04 if v >= 1 else 1 / 1.04), y + dy, f'{v:.2f}' if v < 10 else number(v), va='center',
                    fontsize=7, ha='left' if v >= 1 else 'right')
        if row.get('zt'):
            said = f"zt {number(row['zt'][0])}; {row['target']}"
            verdict, colour = {True: ('met', MET), False: ('missed', MISSED), None: ('', 'black')}[row.get('met')]
        else:
            why = row.get('why')
            said, verdict, colour = row['target'], (f'failed: {why}' if isinstance(why, str) else 'no figure'), MISSED
        ax.text(1.01, y, f'{said}: {verdict}' if verdict else said, transform=ax.get_yaxis_transform(),
                va='center', fontsize=8, color=colour)
    lo = min(ratios + [0.5]) / 1.6
    hi = max(ratios + [2.0]) * 2.5  # room for the figure beside the longest bar
    ax.set_xscale('log')
    ax.set_xlim(lo, hi)
    ticks = [t * 10.0 ** e for e in range(-4, 5) for t in (1, 3) if lo <= t * 10.0 ** e <= hi]
    ax.xaxis.set_major_locator(FixedLocator(ticks))
    ax.xaxis.set_minor_locator(NullLocator())
    ax.set_xticklabels([f'{t:g}' for t in ticks])
    ax.axvline(1, color='black', linewidth=0.8)
    ax.set_yticks(range(n))
    ax.set_yticklabels([row['label'] for row in reversed(rows)])
    ax.set_ylim(-0.7, n - 0.3)
    ax.grid(axis='x', color='#dddddd')
    ax.set_axisbelow(True)
    ax.set_xlabel('zt / other, log scale: left of 1, zt is below the other')
    ax.legend(handles=[Patch(color=PEER, label='zt / best peer'), Patch(color=LIMIT, label='zt / limit')],
              loc='lower left', bbox_to_anchor=(0, 1.0), ncol=2, frameon=False)
    fig.suptitle('zt against the best peer and the machine\'s limit (right: zt\'s figure, the target, met or '
                 'missed)', x=0.01, ha='left', fontsize=10)
    if note:
        fig.text(0.01, 0.005, note, fontsize=7, color='#555555')
    fig.tight_layout(rect=(0, 0.02, 1, 0.97))  # the texts on the right count in the layout
    for path in paths:
        fig.savefig(path)
    plt.close(fig)


def main(argv):
    note = ''
    if '--note' in argv:
        i = argv.index('--note')
        note = argv[i + 1]
        argv = argv[:i] + argv[i + 2:]
    if len(argv) < 2:
        sys.exit(__doc__)
    with open(argv[0]) as f:
        rows = json.load(f)
    draw(rows, argv[1:], note)


if __name__ == '__main__':
    main(sys.argv[1:])
