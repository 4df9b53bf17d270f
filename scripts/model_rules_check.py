#!/usr/bin/env python3
"""An independent reckoning of a river-model geometry file's sections under
the model's rules: each zone's area, perimeter, top width and conveyance at a
level, to check normlevel's --details / JSON figures against.

usage: model_rules_check.py FILE.g01 STATION LEVEL [k]
"""
import math
import sys


def fields(text, width=8):
    return [float(text[i:i + width]) for i in range(0, len(text.rstrip()), width) if text[i:i + width].strip()]


def read_sections(path):
    lines = open(path).read().splitlines()
    sections, cur, i = [], None, 0

    def values(count):
        nonlocal i
        out = []
        while len(out) < count:
            i += 1
            out += fields(lines[i])
        return out

    while i < len(lines):
        line = lines[i]
        if line.startswith("Type RM Length L Ch R"):
            kind, station = [v.strip() for v in line.split("=")[1].split(",")[:2]]
            cur = {"station": station, "ineff": [], "levees": [], "blocks": []} if kind == "1" else None
            if cur:
                sections.append(cur)
        elif cur is None:
            pass
        elif line.startswith("#Sta/Elev="):
            n = int(line.split("=")[1].split(",")[0])
            v = values(2 * n)
            cur["x"], cur["z"] = v[0::2], v[1::2]
        elif line.startswith("#Mann="):
            n = int(line.split("=")[1].split(",")[0])
            v = values(3 * n)
            cur["n_sta"], cur["n"] = v[0::3], v[1::3]
        elif line.startswith("Bank Sta="):
            a, b = line.split("=")[1].split(",")[:2]
            cur["banks"] = (float(a), float(b))
        elif line.startswith("#XS Ineff="):
            head = line.split("=")[1].split(",")
            n, mode = int(head[0]), float(head[1])
            if mode == -1:
                v = values(3 * n)
                cur["ineff"] = [[v[3 * k], v[3 * k + 1], v[3 * k + 2], False] for k in range(n)]
            else:
                v = values(2 * n)
                cur["ineff"] = [[-math.inf, v[0], v[1], False]] + [[v[2], math.inf, v[3], False]][: n - 1]
        elif line.startswith("#Block Obstruct="):
            head = line.split("=")[1].split(",")
            n, mode = int(head[0]), float(head[1])
            if mode == -1:
                v = values(3 * n)
                cur["blocks"] = [(v[3 * k], v[3 * k + 1], v[3 * k + 2]) for k in range(n)]
            else:
                v = values(2 * n)
                cur["blocks"] = [(-math.inf, v[0], v[1])] + [(v[2], math.inf, v[3])][: n - 1]
        elif line.startswith("Levee="):
            v = [t.strip() for t in line.split("=", 1)[1].split(",")] + [""] * 6
            for side, at in (("left", 0), ("right", 3)):
                if v[at] not in ("", "0") and v[at + 1] and v[at + 2]:
                    cur["levees"].append((side, float(v[at + 1]), float(v[at + 2])))
        elif line.startswith("Permanent Ineff="):
            i += 1
            flags = lines[i].split()
            for block, flag in zip(cur["ineff"], flags):
                block[3] = flag == "T"
        i += 1
    return sections


def clip(x, z, a, b):
    """The ground polyline between stations a and b (interpolated ends)."""
    def at(s):
        for k in range(len(x) - 1):
            if x[k] <= s <= x[k + 1] and x[k + 1] > x[k]:
                return z[k] + (s - x[k]) / (x[k + 1] - x[k]) * (z[k + 1] - z[k])
        return z[0] if s <= x[0] else z[-1]
    pts = [(a, at(a))] + [(xi, zi) for xi, zi in zip(x, z) if a < xi < b] + [(b, at(b))]
    return pts


def wet(p, q, h):
    """Area, wetted length and top width of segment p-q under level h."""
    (x1, z1), (x2, z2) = p, q
    d1, d2 = h - z1, h - z2
    if d1 <= 0 and d2 <= 0:
        return 0.0, 0.0, 0.0
    length = math.hypot(x2 - x1, z2 - z1)
    if d1 > 0 and d2 > 0:
        return (x2 - x1) * (d1 + d2) / 2, length, x2 - x1
    f = max(d1, d2) / (abs(d1) + abs(d2))  # the wet fraction
    w = f * (x2 - x1)
    return w * max(d1, d2) / 2, f * length, w


def ground(x, z, s, last):
    """The ground at station s; on a vertical wall its first or last point."""
    at = [k for k in range(len(x)) if x[k] == s]
    if at:
        return z[at[-1] if last else at[0]]
    for k in range(len(x) - 1):
        if x[k] < s < x[k + 1]:
            return z[k] + (s - x[k]) / (x[k + 1] - x[k]) * (z[k + 1] - z[k])
    return z[0] if s < x[0] else z[-1]


def raised(x, z, blocks):
    """The polyline with each obstruction's ground lifted to its elevation."""
    for f, t, e in blocks:
        f, t = max(f, x[0]), min(t, x[-1])
        if not f < t:
            continue
        nx, nz = [], []
        for xi, zi in zip(x, z):
            if xi < f:
                nx.append(xi); nz.append(zi)
        left, right = ground(x, z, f, False), ground(x, z, t, True)
        if f > x[0]:  # at an end the end wall stands on the block
            nx.append(f); nz.append(left)
        nx.append(f); nz.append(max(left, e))
        for xi, zi in zip(x, z):
            if f < xi < t:
                nx.append(xi); nz.append(max(zi, e))
        nx.append(t); nz.append(max(right, e))
        if t < x[-1]:
            nx.append(t); nz.append(right)
        for xi, zi in zip(x, z):
            if xi > t:
                nx.append(xi); nz.append(zi)
        # a face only where the block stands above the ground
        x, z = [], []
        for xi, zi in zip(nx, nz):
            if x and x[-1] == xi and z[-1] == zi:
                continue
            x.append(xi); z.append(zi)
    return x, z


def section_figures(s, h, k):
    x, z = raised(s["x"], s["z"], s["blocks"])
    bl, br = s["banks"]
    cuts = sorted(set([x[0], x[-1], bl, br] + [c for c in s["n_sta"] if x[0] < c < x[-1]]))
    zones = {"left": [0, 0, 0, 0], "channel": [0, 0, 0, 0], "right": [0, 0, 0, 0]}

    def counts(a, b):
        for side, at, crest in s["levees"]:
            if h < crest and (b <= at if side == "left" else a >= at):
                return False
        for f, t, e, perm in s["ineff"]:
            if f <= a and b <= t and (perm or h < e):
                return False
        return True

    for a, b in zip(cuts, cuts[1:]):
        if b <= a:
            continue
        n = [nv for ns, nv in zip(s["n_sta"], s["n"]) if ns <= a + 1e-9][-1]
        zone = "left" if b <= bl else "right" if a >= br else "channel"
        pts = clip(x, z, a, b)
        # the ineffective blocks' edges as points too
        edges = sorted(set([e for f, t, _, _ in s["ineff"] for e in (f, t) if a < e < b] +
                           [at for _, at, _ in s["levees"] if a < at < b]))
        for e in edges:
            if all(p[0] != e for p in pts):
                pts = sorted(pts + clip(x, z, e, e)[:1], key=lambda p: p[0])
        stretches, area, per, width = [], 0.0, 0.0, 0.0
        for j, (p, q) in enumerate(zip(pts, pts[1:])):
            if p[1] >= h and (area or per):
                stretches.append((area, per))
                area = per = 0.0
            if not counts(p[0], q[0]):
                continue
            A, P, B = wet(p, q, h)
            if a == x[0] and j == 0 and h > p[1]:
                P += h - p[1]
            if b == x[-1] and j == len(pts) - 2 and h > q[1]:
                P += h - q[1]
            for side, at, crest in s["levees"]:
                if (side == "left" and p[0] == at) or (side == "right" and q[0] == at):
                    g = ground(x, z, at, side == "left")
                    if h < crest and h > g:
                        P += h - g
                    elif h >= crest and crest > g:
                        P += 2 * (crest - g)
            area, per, width = area + A, per + P, width + B
            zones[zone][2] += B
        stretches.append((area, per))
        A = sum(t[0] for t in stretches)
        P = sum(t[1] for t in stretches)
        if zone == "channel":
            K = k / n * A * (A / P) ** (2 / 3) if P > 0 else 0
        else:
            K = sum(k / n * a_ * (a_ / p_) ** (2 / 3) for a_, p_ in stretches if p_ > 0)
        zones[zone][0] += A
        zones[zone][1] += P
        zones[zone][3] += K
    return zones


def main():
    path, station, level = sys.argv[1], sys.argv[2], float(sys.argv[3])
    k = float(sys.argv[4]) if len(sys.argv) > 4 else 1.48592
    for s in read_sections(path):
        if s["station"] == station:
            for zone, (A, P, B, K) in section_figures(s, level, k).items():
                print(f"{zone:8s} A={A:.10g} P={P:.10g} B={B:.10g} K={K:.10g}")


if __name__ == "__main__":
    main()
