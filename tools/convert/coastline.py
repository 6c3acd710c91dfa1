#!/usr/bin/python3
"""Coastline and location-check contour from GSHHG (low resolution), read with gmt.

   coastline.py map     OUT   writes the map coastline "map.bln"
   coastline.py contour OUT   writes the location-check contour "ALL_.bln"

Both cover the map's default view, longitude -14 to 42, latitude 30 to 50.
gmt hands the shoreline out in pieces cut at its storage bins and at the
region's border; the pieces are joined end to end here, and a shore that the
border cuts is closed along the border on its land side (which side is land
is asked of gmt at the middle of each stretch of border), so that every land
mass becomes a closed polygon that can be filled.
"""
import subprocess
import sys

W, E, S, N = -14.0, 42.0, 30.0, 50.0
REGION = "-R%g/%g/%g/%g" % (W, E, S, N)
EPS = 1e-6

# Colour indices into the map palette: index 4 a mid-depth blue for the sea,
# 12 a pale green for the land, 7 a light blue for lakes.
SEA_COLOUR, LAND_COLOUR, LAKE_COLOUR = 4, 12, 7


def gmt(args, stdin=None):
    return subprocess.run(["gmt"] + args, input=stdin, capture_output=True,
                          text=True, check=True).stdout


def read_segments(text):
    segs, cur = [], None
    for line in text.splitlines():
        if line.startswith(">"):
            cur = []
            segs.append(cur)
        elif line.strip():
            x, y = map(float, line.split()[:2])
            cur.append((x, y))
    return [s for s in segs if len(s) >= 2]


def same(a, b):
    return abs(a[0] - b[0]) < EPS and abs(a[1] - b[1]) < EPS


def stitch(segs):
    """Joins pieces whose ends meet; returns (closed rings, open chains)."""
    segs = [list(s) for s in segs]
    closed, chains = [], []
    while segs:
        cur = segs.pop(0)
        grown = True
        while grown and not same(cur[0], cur[-1]):
            grown = False
            for i, s in enumerate(segs):
                if same(cur[-1], s[0]):
                    cur += s[1:]
                elif same(cur[-1], s[-1]):
                    cur += s[-2::-1]
                elif same(cur[0], s[-1]):
                    cur = s[:-1] + cur
                elif same(cur[0], s[0]):
                    cur = s[:0:-1] + cur
                else:
                    continue
                segs.pop(i)
                grown = True
                break
        (closed if same(cur[0], cur[-1]) else chains).append(cur)
    return closed, chains


def on_border(p):
    x, y = p
    return (abs(x - W) < EPS or abs(x - E) < EPS or abs(y - S) < EPS
            or abs(y - N) < EPS)


def perimeter_pos(p):
    """Position along the border, counter-clockwise from the south-west corner."""
    x, y = p
    dx, dy = E - W, N - S
    if abs(y - S) < EPS:
        return x - W
    if abs(x - E) < EPS:
        return dx + (y - S)
    if abs(y - N) < EPS:
        return dx + dy + (E - x)
    return 2 * dx + dy + (N - y)


def perimeter_point(t):
    dx, dy = E - W, N - S
    t %= 2 * (dx + dy)
    if t <= dx:
        return (W + t, S)
    if t <= dx + dy:
        return (E, S + (t - dx))
    if t <= 2 * dx + dy:
        return (E - (t - dx - dy), N)
    return (W, N - (t - 2 * dx - dy))


def border_path(t0, t1):
    """Border points from position t0 forward to t1, corners included."""
    dx, dy = E - W, N - S
    total = 2 * (dx + dy)
    if t1 < t0:
        t1 += total
    corners = [dx, dx + dy, 2 * dx + dy, total]
    pts = [perimeter_point(t0)]
    for k in range(3):
        for c in corners:
            c += k * total
            if t0 < c < t1:
                pts.append(perimeter_point(c))
    pts.append(perimeter_point(t1))
    return pts


def is_land(points):
    # gmt drops points that lie on the region's southern edge, so each point
    # is asked about a hair inside the view.
    inside = [(min(max(x, W + 1e-3), E - 1e-3), min(max(y, S + 1e-3), N - 1e-3))
              for x, y in points]
    text = "".join("%.4f %.4f\n" % p for p in inside)
    out = gmt(["select", REGION, "-Dl", "-Ns/k", "-A0/1/1"], text)
    kept = {tuple(round(float(v), 4) for v in l.split()[:2])
            for l in out.splitlines() if l.strip()}
    return [(round(p[0], 4), round(p[1], 4)) in kept for p in inside]


def close_on_border(chains):
    for c in chains:
        if not (on_border(c[0]) and on_border(c[-1])):
            raise SystemExit("shore piece ends inside the region: %r %r" % (c[0], c[-1]))
    ends = []  # (position, chain index, 0 = start / 1 = end)
    for i, c in enumerate(chains):
        ends.append((perimeter_pos(c[0]), i, 0))
        ends.append((perimeter_pos(c[-1]), i, 1))
    ends.sort()
    total = 2 * ((E - W) + (N - S))
    mids = []
    for k, e in enumerate(ends):
        t0, t1 = e[0], ends[(k + 1) % len(ends)][0]
        if t1 <= t0:
            t1 += total
        mids.append(perimeter_point((t0 + t1) / 2))
    land = is_land(mids)
    # Each end meets exactly one stretch of land border; following chain,
    # stretch, chain ... returns to the start and gives one polygon.
    partner = {}
    for k, a in enumerate(ends):
        if land[k]:
            b = ends[(k + 1) % len(ends)]
            path = border_path(a[0], b[0])
            partner[(a[1], a[2])] = ((b[1], b[2]), path)
            partner[(b[1], b[2])] = ((a[1], a[2]), path[::-1])
    used, rings = set(), []
    for i in range(len(chains)):
        if i in used:
            continue
        ring, ci, entry = [], i, 0
        while ci not in used:
            used.add(ci)
            ring += chains[ci] if entry == 0 else chains[ci][::-1]
            (ci, entry), path = partner[(ci, 1 - entry)]
            ring += path[1:-1]
        if ci != i:
            raise SystemExit("shore pieces do not close into one polygon")
        ring.append(ring[0])
        rings.append(ring)
    return rings


def polygons(level):
    # Lakes below 100 km² would only speckle the map.
    area = 0 if level == 1 else 100
    text = gmt(["coast", REGION, "-Dl", "-W", "-M", "-A%d/%d/%d" % (area, level, level)])
    closed, chains = stitch(read_segments(text))
    if chains:
        closed += close_on_border(chains)
    return closed


def main():
    kind, out = sys.argv[1], sys.argv[2]
    land = polygons(1)
    # Largest first, so that the file reads land mass by land mass.
    land.sort(key=lambda r: -len(r))
    with open(out, "w") as f:
        if kind == "map":
            f.write("%d\n" % SEA_COLOUR)
            for r in land:
                f.write("%d %d\n" % (len(r), LAND_COLOUR))
                f.writelines("%.4f %.4f\n" % p for p in r)
            lakes = polygons(2)
            lakes.sort(key=lambda r: -len(r))
            for r in lakes:
                f.write("%d %d\n" % (len(r), LAKE_COLOUR))
                f.writelines("%.4f %.4f\n" % p for p in r)
        else:
            # The sea is the whole view less the land: one area, then a hole
            # per land mass, latitude first as the contour files are written.
            box = [(W, S), (E, S), (E, N), (W, N), (W, S)]
            f.write("%d 0\n" % len(box))
            f.writelines("%.4f %.4f\n" % (p[1], p[0]) for p in box)
            for r in land:
                f.write("%d 1\n" % len(r))
                f.writelines("%.4f %.4f\n" % (p[1], p[0]) for p in r)


if __name__ == "__main__":
    main()
