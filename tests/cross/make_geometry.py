#!/usr/bin/env python3
"""Writes a river-model geometry file of random sections for comparing the
builds' bytes: make_geometry.py SEED SECTIONS > FILE

Each section is a noisy valley of 4 to 60 points with random banks and n, so
that levels fall on every kind of ground: in the channel, over the banks,
against the end walls, in ponds parted from the channel.
"""
import random
import sys


def field(value):
    """A number in the model's 8-character field."""
    return ('%.3f' % value).rstrip('0').rstrip('.').rjust(8)


def rows(values, per_line):
    return [''.join(field(v) for v in values[i:i + per_line])
            for i in range(0, len(values), per_line)]


def section(rng, river_station):
    count = rng.randint(4, 60)
    stations = [s / 10 for s in sorted(rng.sample(range(4000), count))]
    floor = rng.uniform(50, 300)
    middle = (count - 1) / 2
    elevations = [round(floor + 8 * min(i, count - 1 - i) / middle + rng.uniform(-0.4, 0.4), 2)
                  for i in range(count)]
    left = rng.randint(0, count // 2 - 1)
    right = rng.randint(count // 2, count - 1)
    roughness = [(stations[0], rng.choice([.03, .04, .05, .06, .08])),
                 (stations[left], rng.choice([.02, .025, .03, .035])),
                 (stations[right], rng.choice([.04, .05, .07, .1]))]
    lines = ['Type RM Length L Ch R = 1 ,%d,10,10,10' % river_station, '#Sta/Elev= %d ' % count]
    lines += rows([v for pair in zip(stations, elevations) for v in pair], 10)
    lines.append('#Mann= %d ,0,0' % len(roughness))
    lines += rows([v for start, n in roughness for v in (start, n, 0)], 9)
    lines.append('Bank Sta=%s,%s' % (field(stations[left]).strip(), field(stations[right]).strip()))
    return lines


def main():
    rng = random.Random(int(sys.argv[1]))
    lines = ['Geom Title=Generated sections', 'River Reach=Generated       ,Reach           ']
    for k in range(int(sys.argv[2])):
        lines += section(rng, 100000 - k)
    sys.stdout.write('\r\n'.join(lines) + '\r\n')


main()
