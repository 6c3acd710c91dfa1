#!/usr/bin/python3
"""QC squares and climatology of the Black Sea and the Mediterranean.

   seas.py squares-bs   GRID OUT   Black Sea squares "QuadrHMS.txt"
   seas.py squares-ms   GRID OUT   Mediterranean squares "QuadrMedClim.txt"
   seas.py clim-bs      GRID OUT   Black Sea climatology import file
   seas.py clim-ms      GRID OUT   Mediterranean climatology import file

GRID is the converted bathymetry "out.grd" (see grid.py): each sea is the set
of its wet grid nodes reachable from a point inside it, the Mediterranean cut
off from the Atlantic at longitude -5.6 (the program checks nothing west of
it) and both seas parted at the Bosporus.  Black Sea squares are 1 x 1
degree, numbered from the north-west; Mediterranean squares 2 x 2 degrees,
named after their south-west corner ("M36N014E").  A square is kept when it
holds a node of its sea.

Climatology, by square, month and pressure (depths in metres taken as
pressures in decibars):
- Mediterranean: the annual mean temperature and salinity of the Levitus
  climatology (levitus_climatology.cdf: 1 degree, 20 standard depths),
  averaged over the 1-degree cells of the square's sea.  Levitus has no
  months, so the temperature's seasons are taken from the COADS monthly sea
  surface temperature (coads_climatology.cdf, 2 degrees): the month's
  departure from the COADS annual mean, fading with depth.  The salinity is
  the annual mean in every month.
- Black Sea: neither Levitus nor any other data set at hand has values below
  its surface.  Its profile is a typical Black Sea profile written down here
  (a warm surface layer, the cold intermediate layer near 50-75 m, deep water
  near 9 degrees; salinity rising from 18 at the surface through the
  halocline to 22.3 at depth), its surface temperature by month from COADS.
- Standard deviations are derived, since no source has them: the spread of
  the sea's cells around the square together with a term for the year-to-year
  and synoptic variability that fades with depth.
"""
import math
import sys
from collections import deque

from scipy.io import netcdf_file

LEVITUS = "/usr/share/ferret-vis/data/levitus_climatology.cdf"
COADS = "/usr/share/ferret-vis/data/coads_climatology.cdf"
BS_SEED, MS_SEED = (34.0, 43.0), (18.0, 35.0)
GIBRALTAR_CUT = -5.6


def read_grid(path):
    with open(path) as f:
        tokens = f.read().split()
    assert tokens[0] == "DSAA"
    nx, ny = int(tokens[1]), int(tokens[2])
    xmin, xmax, ymin, ymax = map(float, tokens[3:7])
    vals = list(map(float, tokens[9:9 + nx * ny]))
    z = [vals[r * nx:(r + 1) * nx] for r in range(ny)]
    return xmin, ymin, (xmax - xmin) / (nx - 1), (ymax - ymin) / (ny - 1), z


def sea_nodes(grid, which):
    """Wet nodes of one sea, as a set of (lon, lat) rounded to 1e-4."""
    xmin, ymin, dx, dy, z = grid
    ny, nx = len(z), len(z[0])

    def allowed(c, r):
        lon, lat = xmin + c * dx, ymin + r * dy
        if z[r][c] >= 0:
            return False
        if which == "BS":
            return not (lon < 30.0 and lat < 41.1)
        return lon > GIBRALTAR_CUT and not (lon > 27.0 and lat > 41.1)

    seed = BS_SEED if which == "BS" else MS_SEED
    start = (round((seed[0] - xmin) / dx), round((seed[1] - ymin) / dy))
    seen, todo = {start}, deque([start])
    while todo:
        c, r = todo.popleft()
        for cc, rr in ((c + 1, r), (c - 1, r), (c, r + 1), (c, r - 1)):
            if 0 <= cc < nx and 0 <= rr < ny and (cc, rr) not in seen and allowed(cc, rr):
                seen.add((cc, rr))
                todo.append((cc, rr))
    return [(xmin + c * dx, ymin + r * dy, z[r][c]) for c, r in seen]


def squares(grid, which):
    """[(name, lonmin, latmin, lonmax, latmax, deepest node)] of one sea."""
    size = 1 if which == "BS" else 2
    cells = {}
    for lon, lat, depth in sea_nodes(grid, which):
        key = (math.floor(lat / size) * size, math.floor(lon / size) * size)
        cells[key] = min(cells.get(key, 0.0), depth)
    out = []
    # North-west first, row by row.
    for n, (lat, lon) in enumerate(sorted(cells, key=lambda k: (-k[0], k[1])), start=1):
        if which == "BS":
            name = str(n)
        else:
            name = "M%02dN%03d%s" % (lat, abs(lon), "E" if lon >= 0 else "W")
        out.append((name, lon, lat, lon + size, lat + size, cells[(lat, lon)]))
    return out


def write_squares(grid, which, path):
    with open(path, "w") as f:
        for name, x0, y0, x1, y1, _ in squares(grid, which):
            f.write("%g %g %g %g %s\n" % (x0, y0, x1, y1, name))


def read_nc(path, names):
    f = netcdf_file(path, "r", mmap=False)
    out = [f.variables[n][:].copy() for n in names]
    f.close()
    return out


def levitus():
    lons, lats, deps, temp, salt = read_nc(
        LEVITUS, ["XAXLEVITR", "YAXLEVITR", "ZAXLEVITR", "TEMP", "SALT"])
    return [float(v) for v in lons], [float(v) for v in lats], [float(v) for v in deps], \
        {"TEMP": temp, "PSAL": salt}


def nearest_lon(axis, lon):
    return min(range(len(axis)), key=lambda i: abs(((axis[i] - lon + 180) % 360) - 180))


def nearest(axis, v):
    return min(range(len(axis)), key=lambda i: abs(axis[i] - v))


class Coads:
    """Monthly sea surface temperature of COADS, 2 degrees."""

    def __init__(self):
        x, y, self.sst = read_nc(COADS, ["COADSX", "COADSY", "SST"])
        self.x, self.y = [float(v) for v in x], [float(v) for v in y]

    def months(self, lon, lat):
        """Twelve monthly values of the nearest cell that has all twelve."""
        best = None
        for dj in (0, -1, 1, -2, 2):
            for di in (0, -1, 1, -2, 2):
                i = (nearest_lon(self.x, lon) + di) % len(self.x)
                j = nearest(self.y, lat) + dj
                vals = [float(self.sst[m, j, i]) for m in range(12)]
                if all(v > -1e30 for v in vals):
                    d = di * di + dj * dj
                    if best is None or d < best[0]:
                        best = (d, vals)
        if best is None:
            raise SystemExit("no COADS surface temperature near %g %g" % (lon, lat))
        return best[1]


# A typical Black Sea profile: depth, temperature, salinity.
BLACK_SEA_PROFILE = [
    (0, 15.0, 18.20), (10, 14.6, 18.25), (20, 13.6, 18.30), (30, 11.4, 18.40),
    (50, 8.4, 18.70), (75, 7.9, 19.50), (100, 8.2, 20.30), (150, 8.6, 21.00),
    (200, 8.75, 21.30), (300, 8.85, 21.60), (400, 8.87, 21.80), (600, 8.90, 22.00),
    (800, 8.91, 22.10), (1000, 8.92, 22.20), (1200, 8.93, 22.25), (1500, 8.95, 22.30),
    (2000, 9.00, 22.33), (2500, 9.05, 22.34)]


def variability(sea, param, depth):
    """Spread that a monthly mean does not show: years and weather, largest
    in the surface layer (and in the Black Sea's halocline), small at depth."""
    if param == "TEMP":
        return 0.12 + 1.4 * math.exp(-depth / 40.0)
    if sea == "BS":
        return 0.04 + 0.25 * math.exp(-depth / 30.0) + 0.35 * math.exp(-((depth - 110.0) / 70.0) ** 2)
    return 0.03 + 0.22 * math.exp(-depth / 60.0)


def seasonal(depth):
    """How much of the surface's seasonal swing reaches a depth."""
    return math.exp(-depth / 25.0)


def mixed_layer(profile, limit):
    """No level above `limit` is warmer than the one above it: where the
    surface is colder than the annual profile below it (winter), the
    surface layer is mixed down to that depth, as the sea does."""
    out = []
    for depth, vals in profile:
        if out and depth <= limit and vals[0] > out[-1][1][0]:
            vals = [out[-1][1][0]] + vals[1:]
        out.append((depth, vals))
    return out


def write_climatology(grid, which, path):
    coads = Coads()
    rows = []  # (name, month, depth, [values])
    squares_of_sea = squares(grid, which)
    if which == "BS":
        for name, x0, y0, x1, y1, deepest in squares_of_sea:
            sst = coads.months((x0 + x1) / 2, (y0 + y1) / 2)
            annual = sum(sst) / 12
            levels = [p for p in BLACK_SEA_PROFILE if p[0] <= -deepest] or BLACK_SEA_PROFILE[:1]
            nxt = [p for p in BLACK_SEA_PROFILE if p[0] > -deepest]
            levels += nxt[:1]
            for month in range(12):
                profile = []
                for depth, t, s in levels:
                    t += (annual - BLACK_SEA_PROFILE[0][1]) * seasonal(depth) * 0.5
                    t += (sst[month] - annual) * seasonal(depth)
                    profile.append((depth, [t, variability("BS", "TEMP", depth),
                                            s, variability("BS", "PSAL", depth)]))
                rows += [(name, month + 1, d, v) for d, v in mixed_layer(profile, 50)]
    else:
        lons, lats, deps, fields = levitus()
        wet = {(round(lon * 12), round(lat * 12)) for lon, lat, _ in sea_nodes(grid, which)}

        def cell_in_sea(lon0, lat0):
            # A 1-degree cell belongs to the sea when one of its nodes does.
            return any((lon0 * 12 + i, lat0 * 12 + j) in wet for i in range(13) for j in range(13))

        sea_cells = {(lon, lat): (nearest_lon(lons, lon + 0.5), nearest(lats, lat + 0.5))
                     for lon in range(-6, 42) for lat in range(30, 48) if cell_in_sea(lon, lat)}

        def value(param, k, cell):
            i, j = sea_cells[cell]
            v = float(fields[param][k, j, i])
            return None if v < -1e9 else v

        for name, x0, y0, x1, y1, deepest in squares_of_sea:
            sst = coads.months((x0 + x1) / 2, (y0 + y1) / 2)
            annual = sum(sst) / 12
            inner = [c for c in sea_cells if x0 <= c[0] < x1 and y0 <= c[1] < y1]
            around = [c for c in sea_cells if x0 - 1 <= c[0] < x1 + 1 and y0 - 1 <= c[1] < y1 + 1]
            profile = []
            for k, depth in enumerate(deps):
                stats = []
                for param in ("TEMP", "PSAL"):
                    own = [v for v in (value(param, k, c) for c in inner) if v is not None]
                    near = [v for v in (value(param, k, c) for c in around) if v is not None]
                    own = own or near
                    if not own:
                        break
                    mean = sum(own) / len(own)
                    var = sum((v - mean) ** 2 for v in near) / len(near)
                    stats += [mean, math.sqrt(var + variability("MS", param, depth) ** 2)]
                else:
                    profile.append((depth, stats))
                    if depth >= -deepest:
                        break  # one level at or below the floor suffices
                    continue
                break
            for month in range(12):
                monthly = [(d, [t + (sst[month] - annual) * seasonal(d), tsd, s, ssd])
                           for d, (t, tsd, s, ssd) in profile]
                rows += [(name, month + 1, d, v) for d, v in mixed_layer(monthly, 100)]
    rows.sort(key=lambda r: (r[1], 0))  # month by month, squares in file order
    with open(path, "w") as f:
        f.write("REGION;Month;PRES;TEMP_PAVG;TEMP_PSTD;PSAL_PAVG;PSAL_PSTD\n")
        for name, month, depth, vals in rows:
            f.write("%s;%d;%g;%s\n" % (name, month, depth, ";".join("%.3f" % v for v in vals)))


def main():
    what, grid_path, out = sys.argv[1:4]
    grid = read_grid(grid_path)
    sea = what[-2:].upper()
    if what.startswith("squares"):
        write_squares(grid, sea, out)
    else:
        write_climatology(grid, sea, out)


if __name__ == "__main__":
    main()
