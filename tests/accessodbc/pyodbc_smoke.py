"""Smoke check of the station-database driver with a second ODBC client.

Connects through the build's odbcinst.ini (ODBCSYSINI), makes a
small table, selects and updates, and checks the answers. Exit code 0 on
success; prints '1 passed, 0 failed' for the test log.
"""
import os
import sys

import pyodbc

path = sys.argv[1]
open(path, "wb").close()  # an empty file is a new station database
conn = pyodbc.connect(
    "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1;DBQ=" + path, autocommit=True)
cur = conn.cursor()
assert conn.getinfo(pyodbc.SQL_DBMS_NAME) == "ACCESS"
cur.execute("CREATE TABLE PTS_Data (ID_Cast Long, PRES Double, FPRES Short, TEMP Double, FTEMP Short, "
            "PSAL Double, FPSAL Short, PRIMARY KEY (ID_Cast, PRES))")
cur.execute("INSERT INTO PTS_Data VALUES (4711, 10.2, 0, 8.5, 0, 18.1, 0)")
cur.execute("INSERT INTO PTS_Data VALUES (4711, 20.4, 0, 8.1, 0, 18.3, 0)")
rows = cur.execute("Select ID_Cast, PRES, TEMP From PTS_Data Where ID_Cast = ? order by PRES", 4711).fetchall()
assert [tuple(r) for r in rows] == [(4711, 10.2, 8.5), (4711, 20.4, 8.1)], rows
updated = cur.execute("Update PTS_Data Set FPRES=1, FTEMP=1, FPSAL=2 where ID_Cast = 4711and PRES = 10.2").rowcount
assert updated == 1, updated
flags = cur.execute("select FPRES, FTEMP, FPSAL from PTS_Data where PRES = 10.2").fetchone()
assert tuple(flags) == (1, 1, 2), flags
conn.close()
os.remove(path)
print("PyodbcSmoke: 1 passed, 0 failed")
