#!/usr/bin/python3
"""Bathymetry grid "out.grd" (Surfer "DSAA" text grid) from ETOPO5, read with gmt.

   grid.py OUT

ETOPO5 covers the globe at 5 arc-minutes.  The copy at hand (etopo5.cdf) is
stored on longitudes 0 to 359.92 with an increment a little above 5 minutes
(359.92 / 4319): its columns are the 5-minute columns of ETOPO5 with rounded
end labels, so a value is placed by its column number, column i at i x 5'.
The map's view, longitude -14 to 42, latitude 30 to 50, takes its western
part (west of Greenwich) from the far end of the file and its eastern part
from the start; both pieces are joined into one grid of 673 x 241 nodes.
A few nodes are then checked against gmt grdtrack on the source.
"""
import subprocess
import sys

SRC = "/usr/share/ferret-vis/data/etopo5.cdf"
STEP = 5.0 / 60.0
W, E, S, N = -14, 42, 30, 50
NCOLS_WORLD = 4320


def gmt(args, stdin=None):
    return subprocess.run(["gmt"] + args, input=stdin, capture_output=True,
                          text=True, check=True).stdout


def source_increment():
    info = gmt(["grdinfo", "-C", SRC]).split()
    # -C: name w e s n z0 z1 dx dy nx ny ...
    return float(info[7])


def main():
    out = sys.argv[1]
    dx = source_increment()
    values = {}
    # West of Greenwich: the end of the file; east of it: its start.
    for region in ("-R%.4f/%.4f/%.4f/%.4f" % (360 + W - 0.05, 360 - 0.001, S - 0.05, N + 0.05),
                   "-R%.4f/%.4f/%.4f/%.4f" % (0, E + 0.05, S - 0.05, N + 0.05)):
        for line in gmt(["grd2xyz", SRC, region]).splitlines():
            x, y, z = line.split()
            col = round(float(x) / dx)
            row = round((float(y) + 90.0) / STEP)
            if col > NCOLS_WORLD // 2:
                col -= NCOLS_WORLD
            values[(col, row)] = round(float(z))
    c0, c1 = round(W / STEP), round(E / STEP)
    r0, r1 = round((S + 90) / STEP), round((N + 90) / STEP)
    nx, ny = c1 - c0 + 1, r1 - r0 + 1
    grid = [[values[(c, r)] for c in range(c0, c1 + 1)] for r in range(r0, r1 + 1)]
    zmin = min(min(row) for row in grid)
    zmax = max(max(row) for row in grid)

    # Check nodes against gmt's own reading of the source at the same column.
    probes = [(34.0, 43.0), (18.0, 35.0), (-10.0, 40.0), (5.0, 42.0), (-0.1666667, 36.0),
              (41.5, 41.5), (25.5, 35.5)]
    text = "".join("%.7f %.7f\n" % ((x + (360 if x < 0 else 0)) / STEP * dx, y)
                   for x, y in probes)
    answers = gmt(["grdtrack", "-G" + SRC], text).splitlines()
    if len(answers) != len(probes):
        raise SystemExit("gmt grdtrack answered %d of %d probes" % (len(answers), len(probes)))
    for (x, y), line in zip(probes, answers):
        want = float(line.split()[2])
        got = grid[round((y - S) / STEP)][round((x - W) / STEP)]
        if abs(want - got) > 0.5:
            raise SystemExit("grid check failed at %g %g: %g against %g" % (x, y, got, want))

    with open(out, "w") as f:
        f.write("DSAA\n%d %d\n%g %g\n%g %g\n%g %g\n" % (nx, ny, W, E, S, N, zmin, zmax))
        for row in grid:
            for k in range(0, nx, 10):
                f.write(" ".join(str(v) for v in row[k:k + 10]) + "\n")
            f.write("\n")


if __name__ == "__main__":
    main()
