#!/usr/bin/python3
"""The build's demo station database through the station-database ODBC driver.

   demo_through_driver.py PROGRAM_DIR SCRATCH_DIR

A copy of <PROGRAM_DIR>/demo/marlin_demo.mdb is opened with the program's
connect string and takes the statements the program sends to its main
database: every one runs, and answers as the program expects of it.
"""
import datetime
import os
import shutil
import sys

import pyodbc

program, scratch = sys.argv[1], sys.argv[2]
os.makedirs(scratch, exist_ok=True)
db = os.path.join(scratch, "demo_copy.mdb")
for suffix in ("", "-wal", "-shm"):
    if os.path.exists(db + suffix):
        os.remove(db + suffix)
shutil.copyfile(os.path.join(program, "demo", "marlin_demo.mdb"), db)
stem = db[:-4]

con = pyodbc.connect("DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" + db, autocommit=True)
cur = con.cursor()
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def rows(sql, *args):
    cur.execute(sql, *args)
    return cur.fetchall()


# Parameter list forming: the distinct parameters, and a table for each but
# pressure, temperature and salinity.
params = {r.ParamAbr for r in rows('Select Distinct ParamAbr, Unit, ParName From "Parameters"')}
check("parameters " + str(params), params == {"PRESS", "TEMP", "PSAL", "NO3", "DOX1"})
for p in ("NO3", "DOX1"):
    check("table " + p, len(rows("Select top 1 * from " + p)) == 1)
for p in ("PRESS", "TEMP", "PSAL"):
    try:
        rows("Select top 1 * from " + p)
        failures.append("a table named " + p)
    except pyodbc.Error:
        pass

# Cruise lists: every cruise has its ship and its country.
cruises = rows('Select Distinct D.ID_Cruise, D.Cruise_Name, D.MAR, D.Ship_Code, D.Country_Code, D1.Ship_Name, '
               'D2.NAME from "%s".Cruise_Titles D, "%s".Ships D1, "%s".Countries D2 Where (D.Ship_Code = '
               'D1.Ship_Code)and(D.Country_Code=D2.Country_Code)  Order by D2.NAME, D1.Ship_Name' % (stem, stem, stem))
check("30 cruises with ship and country", len(cruises) == 30)
check("name search without regard to case",
      len(rows("Select * from Cruise_Titles where Cruise_Name like 'bs%'")) ==
      len(rows("Select * from Cruise_Titles where Cruise_Name like 'BS%'")) > 0)

# The stations of a cruise in date and time order, with dates as dates.
casts = rows("Select * from Cast_Titles where ID_Cruise = 3 order by Date_Cast, Time_Cast")
check("stations of cruise 3", len(casts) >= 20)
check("dates are dates", isinstance(casts[0].Date_Cast, datetime.datetime) and casts[0].Date_Cast.year >= 1991)
moments = [(c.Date_Cast, c.Time_Cast) for c in casts]
check("order by date and time", moments == sorted(moments))
editor = rows("select ID_Cruise, ID_Cast, Date_Cast, Time_Cast, FDt, Lon, FLon, Lat, FLat, Depth, FD, StationName "
              "from  Cast_Titles where ID_Cruise=3 order by Date_Cast, Time_Cast")
check("the editor's station columns", [r.ID_Cast for r in editor] == [c.ID_Cast for c in casts])

# Every cast lists its parameters with pressure first: the flag write-back
# passes over a cast's first row.
for c in casts:
    first = rows('Select * From "Parameters" where ID_Cast = %d' % c.ID_Cast)[0]
    check("PRESS first for cast %d" % c.ID_Cast, first.ParamAbr == "PRESS")

# Levels, and the writes of the flag write-back and the editor.
cast = casts[5].ID_Cast
levels = rows("Select ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL From PTS_Data Where ID_Cast = %d order by PRES" % cast)
check("levels in pressure order", [l.PRES for l in levels] == sorted(l.PRES for l in levels) and len(levels) > 3)
p = levels[2].PRES
check("pressures to a tenth", round(p, 1) == p)
cur.execute("Update PTS_Data Set FPRES=1, FTEMP=1, FPSAL=2 where ID_Cast = %dand PRES = %g" % (cast, p))
check("flag write-back hits one level", cur.rowcount == 1)
cur.execute("Update (select * from PTS_Data where (ID_Cast = %d) and (PRES = %g)) SET Temp = 8.125" % (cast, p))
check("editor's level write hits one level", cur.rowcount == 1)
cur.execute("Update Cast_Titles SET FLon = 3 where ID_Cast = %d" % cast)
check("station write hits one station", cur.rowcount == 1)
cur.execute("UPDATE Cast_Titles SET FLon = ?, FLat = ?, FDT = ?, FD = ? WHERE ID_Cast = ?", 0, 0, 0, 0, cast)
check("posted station flags", cur.rowcount == 1)
written = rows("Select FPRES, FTEMP, FPSAL, TEMP From PTS_Data Where ID_Cast = %d and PRES = %g" % (cast, p))
check("written level " + str(written), [tuple(written[0])] == [(1, 1, 2, 8.125)])

# The editor's scratch table and the duplicate search's.
cur.execute("Create Table QCCastID (ID_Cast Integer not NULL, primary KEY (ID_cast))")
cur.execute("Insert into QCCastID Select ID_Cast From Cast_Titles Where (Lon > 27) and (Lon < 42) and (Lat > 40) "
            "and (Lat < 48) and(Month(Date_Cast)=%d)" % casts[0].Date_Cast.month)
check("stations of a month", cur.rowcount >= 1)
cur.execute('select * into dupl from "%s".Cast_Titles where lon>100' % db)
check("empty dupl", rows("Select count(*) from dupl")[0][0] == 0)

con.close()
if failures:
    print("FAILED:\n  " + "\n  ".join(failures))
    sys.exit(1)
print("demo database through the driver: all statements answered as expected")
