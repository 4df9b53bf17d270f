#!/usr/bin/env python3
"""A check of raw E/N/Z surveys computed apart from the program: each section's
points projected on their total-least-squares line (the scatter matrix's
largest eigenvector in closed form, not the program's angle formula), then the level carrying Q by Manning's formula
in three zones split by verticals at the coded bank points, found by
bisection. Each level the program gives must lie within 0.5 mm of it (the
program's own search stops within 1 mm, as the classic one did).

usage: survey_levels.py PROGRAM TABLE Q SLOPE_PER_MILLE NC NF"""
import csv
import subprocess
import sys

import math


def sections(path):
    rows = [line.rstrip('\n').split(';') for line in open(path, encoding='utf-8')]
    head = [h.lower() for h in rows[0]]
    col = {name: head.index(name) for name in ('przekroj', 'nr', 'e', 'n', 'z', 'kod')}
    by_name = {}
    for r in rows[1:]:
        if not r or not r[0]:
            continue
        num = lambda key: float(r[col[key]].replace(',', '.'))
        by_name.setdefault(r[col['przekroj']], []).append((num('nr'), num('e'), num('n'), num('z'), r[col['kod']].upper()))
    for name, points in by_name.items():
        yield name, sorted(points)


def stations(points):
    e = [p[1] for p in points]
    n = [p[2] for p in points]
    ce, cn = sum(e) / len(e), sum(n) / len(n)
    a = sum((v - ce) ** 2 for v in e)
    c = sum((v - cn) ** 2 for v in n)
    b = sum((u - ce) * (v - cn) for u, v in zip(e, n))
    largest = (a + c) / 2 + math.sqrt(((a - c) / 2) ** 2 + b * b)
    de, dn = (b, largest - a) if abs(b) > 1e-300 else ((1.0, 0.0) if a >= c else (0.0, 1.0))
    length = math.hypot(de, dn)
    de, dn = de / length, dn / length
    if (e[-1] - e[0]) * de + (n[-1] - n[0]) * dn < 0:
        de, dn = -de, -dn
    return [(u - e[0]) * de + (v - n[0]) * dn for u, v in zip(e, n)]


def wetted(x, z, level, lo, hi):
    """Area and wetted perimeter of the ground from x[lo] to x[hi] below level."""
    area = perimeter = 0.0
    for i in range(lo, hi):
        x0, z0, x1, z1 = x[i], z[i], x[i + 1], z[i + 1]
        d0, d1 = level - z0, level - z1
        if d0 <= 0 and d1 <= 0:
            continue
        if d0 < 0 or d1 < 0:  # the waterline crosses the segment
            t = d0 / (d0 - d1)
            xc = x0 + t * (x1 - x0)
            if d0 < 0:
                x0, z0, d0 = xc, level, 0.0
            else:
                x1, z1, d1 = xc, level, 0.0
        area += (x1 - x0) * (d0 + d1) / 2
        perimeter += math.hypot(x1 - x0, z1 - z0)
    return area, perimeter


def discharge(x, z, level, left, right, slope, nc, nf):
    total = 0.0
    for lo, hi, n in ((0, left, nf), (left, right, nc), (right, len(x) - 1, nf)):
        a, p = wetted(x, z, level, lo, hi)
        if a > 0 and p > 0:
            total += a * (a / p) ** (2 / 3) * slope ** 0.5 / n
    return total


def levels(path, q, slope, nc, nf):
    found = {}
    for name, points in sections(path):
        x = stations(points)
        z = [p[3] for p in points]
        codes = [p[4] for p in points]
        left = next(i for i, c in enumerate(codes) if c in ('LB', 'BL', 'LBRZ'))
        right = next(i for i, c in enumerate(codes) if c in ('RB', 'BP', 'PBRZ'))
        low, high = min(z), min(z[0], z[-1])
        for _ in range(100):
            mid = (low + high) / 2
            low, high = (mid, high) if discharge(x, z, mid, left, right, slope / 1000, nc, nf) < q else (low, mid)
        found[name] = low
    return found


def main():
    program, path, *values = sys.argv[1:]
    q, slope, nc, nf = map(float, values)
    run = subprocess.run([program, '-q', values[0], '--slope', values[1], '--nc', values[2], '--nf', values[3],
                          '--format', 'csv', path], capture_output=True, text=True, check=True)
    ours = levels(path, q, slope, nc, nf)
    failed = 0
    for row in csv.DictReader(run.stdout.splitlines()):
        difference = float(row['level']) - ours[row['station']]
        failed += abs(difference) > 0.0005
        print(f"{row['station']}: program {float(row['level']):.5f}, own {ours[row['station']]:.5f}, "
              f"{difference * 1000:+.2f} mm")
    print(f'{len(ours) - failed} passed, {failed} failed')
    sys.exit(1 if failed or len(ours) == 0 else 0)


main()
