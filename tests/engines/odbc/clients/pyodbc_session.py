"""A pyodbc session against the Kestrin ODBC driver: the things a Python program does.

Run by CTest with ODBCSYSINI, ODBCINI and KX_ENGINE_HOME pointing at a scratch folder that holds
the DSN "PyDsn". Exits non-zero on the first failed check.
"""
import datetime
import decimal
import sys

import pyodbc


def check(cond, what):
    if not cond:
        print("FAILED:", what)
        sys.exit(1)


conn = pyodbc.connect("DSN=PyDsn")  # autocommit off, as pyodbc defaults
cur = conn.cursor()
cur.execute(
    "CREATE TABLE things (id INTEGER PRIMARY KEY, name VARCHAR(40), price NUMERIC(10,2), "
    "ratio DOUBLE, born DATE, seen TIMESTAMP, raw BLOB, ok BIT, memo LONGVARCHAR)"
)
rows = [
    (1, "plain", decimal.Decimal("12.30"), 0.5, datetime.date(2001, 2, 3),
     datetime.datetime(2001, 2, 3, 4, 5, 6, 789000), b"\x00\x01\xff", True, "short"),
    (2, "Zoë ✓ 日本 😀", decimal.Decimal("-0.01"), -1e10, None, None, None, False, "x" * 20000),
    (3, None, None, None, None, None, b"", None, None),
]
cur.executemany("INSERT INTO things VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", rows)
conn.commit()

cur.execute("SELECT id, name, price, ratio, born, seen, raw, ok, memo FROM things ORDER BY id")
names = [d[0] for d in cur.description]
check(names == ["id", "name", "price", "ratio", "born", "seen", "raw", "ok", "memo"], names)
got = cur.fetchall()
check(len(got) == 3, got)
r1 = got[0]
check(r1.id == 1 and r1.name == "plain", r1)
check(r1.price == decimal.Decimal("12.30"), r1.price)
check(r1.ratio == 0.5, r1.ratio)
check(r1.born == datetime.date(2001, 2, 3), r1.born)
check(r1.seen == datetime.datetime(2001, 2, 3, 4, 5, 6, 789000), r1.seen)
check(bytes(r1.raw) == b"\x00\x01\xff", r1.raw)
check(r1.ok is True, r1.ok)
check(got[1].name == "Zoë ✓ 日本 😀", got[1].name)
check(got[1].memo == "x" * 20000, len(got[1].memo or ""))
check(got[1].ok is False, got[1].ok)
check(got[2].name is None and got[2].price is None, got[2])

# Parameters in WHERE, Unicode included; row counts of changes.
cur.execute("SELECT id FROM things WHERE name = ?", "Zoë ✓ 日本 😀")
check(cur.fetchone()[0] == 2, "unicode parameter")
cur.execute("UPDATE things SET ratio = ? WHERE id > ?", 2.25, 1)
check(cur.rowcount == 2, cur.rowcount)
cur.execute("DELETE FROM things WHERE id = ?", 99)
check(cur.rowcount == 0, cur.rowcount)

# Rollback restores the last committed state.
conn.rollback()
check(cur.execute("SELECT ratio FROM things WHERE id = 3").fetchval() is None, "rollback")

# Errors arrive as the right exception classes, and the transaction stays usable.
try:
    cur.execute("INSERT INTO things (id) VALUES (1)")
    check(False, "duplicate key accepted")
except pyodbc.IntegrityError as e:
    check("23000" in str(e.args[0]), e.args)
try:
    cur.execute("SELECT * FROM nowhere")
    check(False, "missing table accepted")
except pyodbc.ProgrammingError as e:
    check("42S02" in str(e.args[0]), e.args)
cur.execute("INSERT INTO things (id, name) VALUES (4, 'four')")
conn.commit()
check(cur.execute("SELECT count(*) FROM things").fetchval() == 4, "count after commit")

# Catalogue calls.
tables = [t.table_name for t in cur.tables(tableType="TABLE")]
check("things" in tables, tables)
cols = [(c.column_name, c.data_type, c.column_size) for c in cur.columns(table="THINGS")]
check(cols[1] == ("name", pyodbc.SQL_VARCHAR, 40), cols)
check(len(cols) == 9, cols)
types = [t.type_name for t in cur.getTypeInfo(pyodbc.SQL_VARCHAR)]
check(types == ["VARCHAR"], types)

# A stored procedure with a result set.
cur.execute("CREATE PROCEDURE cheap (IN lim NUMERIC(10,2)) AS SELECT name FROM things WHERE price < :lim ORDER BY id")
conn.commit()
cur.execute("{call cheap(?)}", decimal.Decimal("1.00"))
check([r[0] for r in cur.fetchall()] == ["Zoë ✓ 日本 😀"], "procedure rows")
procs = [p.procedure_name for p in cur.procedures()]
check("cheap" in procs, procs)

# fetchmany and nextset over a batch.
cur.execute("SELECT id FROM things ORDER BY id; SELECT 'second'")
check([r[0] for r in cur.fetchmany(2)] == [1, 2], "fetchmany")
check(cur.nextset() is True and cur.fetchone()[0] == "second", "nextset")
check(cur.nextset() in (False, None), "no more sets")

check(conn.getinfo(pyodbc.SQL_DBMS_NAME) == "Kestrin.SQL", conn.getinfo(pyodbc.SQL_DBMS_NAME))
cur.close()
conn.close()
print("pyodbc session passed")
