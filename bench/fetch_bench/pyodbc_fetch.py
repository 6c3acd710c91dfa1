# fetchall of the benchmark's select through python3-pyodbc; prints seconds.
import sys, time, pyodbc
conn = pyodbc.connect(sys.argv[1], autocommit=True)
cur = conn.cursor()
t = time.perf_counter()
cur.execute(sys.argv[2])
rows = cur.fetchall()
print(time.perf_counter() - t, len(rows))
