#!/usr/bin/env python3
"""Writes the schema of the installation's database for each engine from one description,
so that the three DDL files cannot drift apart. Run it from this folder after a change."""

# (table, [(column, kind, width, not null)], key columns, [(index, columns[, carried])]):
# an index's carried columns are stored in it without ordering it (SQLite, which has no
# INCLUDE, orders by them last).
TABLES = [
    ("DEVICETYPE", [("TYPECODE", "int", None, True), ("TYPENAME", "varchar", 50, False)],
     ["TYPECODE"], []),
    ("AREA", [("AREACODE", "int", None, True), ("AREANAME", "varchar", 50, False),
              ("FROMMETER", "int", None, False), ("FROMMILI", "int", None, False),
              ("TOMETER", "int", None, False), ("TOMILI", "int", None, False)],
     ["AREACODE"], []),
    ("DEVICE", [("DEVICETYPE", "int", None, True), ("DEVICECODE", "int", None, True),
                ("POSITION", "int", None, False), ("MILIMETER", "int", None, False),
                ("METER", "int", None, False), ("STATUS", "int", None, False),
                ("CYCLE", "int", None, False), ("AREACODE", "int", None, False),
                ("VIDEO", "int", None, False), ("PHYSICS", "char", 20, False),
                ("BEGINPOS", "char", 10, False), ("ENDPOS", "char", 10, False),
                ("SIDE", "int", None, False), ("COMMTYPE", "int", None, False),
                ("COMMDATA", "char", 30, False), ("PROTOCOL", "int", None, False),
                ("int1", "int", None, False), ("int2", "int", None, False),
                ("int3", "int", None, False), ("int4", "int", None, False),
                ("char1", "varchar", 15, False), ("char2", "varchar", 9, False),
                ("char3", "varchar", 11, False)],
     # The PLC windows list the device types reached through a PLC (COMMTYPE 4); the device
     # search finds the devices of the areas whose names hold a text, and of a stake or a
     # stretch of road (which the device list's stake order uses too).
     ["DEVICETYPE", "DEVICECODE"], [("IX_DEVICE_COMMTYPE", ["COMMTYPE", "DEVICETYPE"]),
                                    ("IX_DEVICE_AREA", ["AREACODE"]),
                                    ("IX_DEVICE_STAKE", ["MILIMETER", "METER"])]),
    ("NGDEVICEPARAM", [("DEVICETYPE", "int", None, True), ("PARAM", "int", None, True),
                       ("PORTTYPE", "int", None, False), ("DESCRIPT", "varchar", 40, False)],
     ["DEVICETYPE", "PARAM"], []),
    ("NGCONFIG", [("NGTYPE", "int", None, False), ("NGCODE", "int", None, False),
                  ("PORTTYPE", "int", None, False), ("PORTCODE", "int", None, False),
                  ("DEVICETYPE", "int", None, False), ("DEVICECODE", "int", None, False),
                  ("DEVICEPARAM", "int", None, False), ("DESCRIPT", "char", 50, False)],
     [], [("IX_NGCONFIG_GATEWAY", ["NGCODE", "NGTYPE"])]),
    ("PLCCONFIG", [("PLCTYPE", "int", None, False), ("PLCCODE", "int", None, True),
                   ("RegisterTYPE", "int", None, True), ("RegisterCODE", "int", None, True),
                   ("RegisterBIT", "int", None, True), ("DEVICETYPE", "int", None, False),
                   ("DEVICECODE", "int", None, False), ("DEVICEPARAM", "int", None, False),
                   ("DESCRIPT", "varchar", 100, False)],
     ["PLCCODE", "RegisterTYPE", "RegisterCODE", "RegisterBIT"], []),
    ("DEVICESTATUS", [("DEVICETYPE", "int", None, False), ("DEVICECODE", "int", None, False),
                      ("STATUSTIME", "datetime", None, False), ("PRESTATUS", "int", None, False),
                      ("CURSTATUS", "int", None, False), ("REMARK", "char", 30, False)],
     [], [("IX_DEVICESTATUS_TIME", ["STATUSTIME", "DEVICETYPE", "DEVICECODE"]),
          ("IX_DEVICESTATUS_TYPE", ["DEVICETYPE", "STATUSTIME", "DEVICECODE"]),
          # Carries the state, so that a device's changes in a range are read in its order
          # from the index alone (the availability report, the tunnel view).
          ("IX_DEVICESTATUS_DEVICE_STATE", ["DEVICETYPE", "DEVICECODE", "STATUSTIME"],
           ["CURSTATUS"])]),
    ("DEVICEALERT", [("DEVICETYPE", "int", None, False), ("DEVICECODE", "int", None, False),
                     ("ALERTTIME", "datetime", None, False), ("ALERTTYPE", "int", None, False),
                     ("ALERTDESC", "varchar", 200, False)],
     [], [("IX_DEVICEALERT_TIME", ["ALERTTIME", "DEVICETYPE", "DEVICECODE"]),
          ("IX_DEVICEALERT_TYPE", ["DEVICETYPE", "ALERTTIME", "DEVICECODE"]),
          ("IX_DEVICEALERT_DEVICE_ALERT", ["DEVICETYPE", "DEVICECODE", "ALERTTIME"],
           ["ALERTTYPE"])]),
    # What the module's windows changed, who changed it, before and after; the module only ever
    # adds rows.
    ("OPERLOG", [("LOGID", "identity", None, True), ("LOGTIME", "datetime", None, True),
                 ("STATION", "varchar", 128, False), ("OPERATOR", "varchar", 128, False),
                 ("FUNCCODE", "int", None, False), ("ACTION", "varchar", 20, False),
                 ("TABLENAME", "varchar", 32, False), ("ROWKEY", "varchar", 100, False),
                 ("BEFORETEXT", "text", None, False), ("AFTERTEXT", "text", None, False)],
     ["LOGID"], [("IX_OPERLOG_TIME", ["LOGTIME"]),
                 ("IX_OPERLOG_ROW", ["TABLENAME", "ROWKEY", "LOGTIME"]),
                 ("IX_OPERLOG_TABLE", ["TABLENAME", "LOGTIME", "LOGID"])]),
]

# Written above an index's statement in every engine's file.
NOTES = {
    "IX_OPERLOG_TABLE": "The log window by table, newest first, a batch at a time without "
                        "sorting the range.",
}

HEADS = {
    "sqlite": "-- The installation's database on SQLite. Written by schema/generate.py.\n"
              "-- CHECKs make over-long texts, non-integers and numbers beyond 32 bits fail as\n"
              "-- on the server engines;\n"
              "-- dates are text yyyy-mm-dd hh:mm:ss.zzz exactly, so that texts order like the\n"
              "-- moments they name; every writer of the file must keep to that form.\n",
    "postgresql": "-- The installation's database on PostgreSQL. Written by schema/generate.py.\n"
                  "-- Names are unquoted, so the statements' mixed spellings all match.\n",
    "sqlserver": "-- The installation's database on SQL Server. Written by schema/generate.py.\n",
}


def column(engine, name, kind, width, not_null):
    nn = " NOT NULL" if not_null else ""
    if kind == "identity":
        # Numbered by the engine, in the order the rows are added.
        # SQLite numbers an INTEGER PRIMARY KEY past the largest; the log never removes its
        # newest row, so AUTOINCREMENT's extra write a row would buy nothing.
        return {"sqlite": f"    {name} INTEGER PRIMARY KEY",
                "postgresql": f"    {name} BIGINT GENERATED BY DEFAULT AS IDENTITY{nn}",
                "sqlserver": f"    [{name}] BIGINT IDENTITY(1,1){nn}"}[engine]
    if kind == "text":
        return {"sqlite": f"    {name} TEXT{nn}", "postgresql": f"    {name} TEXT{nn}",
                "sqlserver": f"    [{name}] NVARCHAR(MAX){nn}"}[engine]
    if engine == "sqlite":
        if kind == "int":
            # INT, not INTEGER: a one-column INTEGER PRIMARY KEY would become the rowid and
            # number rows the other engines refuse for a missing key.
            # SQLite integers are 64-bit; the other engines and every reader hold 32 bits.
            return (f"    {name} INT{nn} CHECK ({name} IS NULL OR (typeof({name}) = 'integer'"
                    f" AND {name} BETWEEN -2147483648 AND 2147483647))")
        if kind in ("char", "varchar"):
            return f"    {name} {kind.upper()}({width}){nn} CHECK (length({name}) <= {width})"
        pattern = ("[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] "
                   "[0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]")
        return f"    {name} TEXT{nn} CHECK ({name} IS NULL OR {name} GLOB '{pattern}')"
    if engine == "postgresql":
        kinds = {"int": "INTEGER", "char": f"CHAR({width})", "varchar": f"VARCHAR({width})",
                 "datetime": "TIMESTAMP(3)"}
        return f"    {name} {kinds[kind]}{nn}"
    kinds = {"int": "INT", "char": f"CHAR({width})", "varchar": f"VARCHAR({width})",
             "datetime": "DATETIME"}
    return f"    [{name}] {kinds[kind]}{nn}"


def index_columns(engine, cols, carried):
    if not carried:
        return f"({', '.join(cols)})"
    if engine == "sqlite":
        return f"({', '.join(cols + carried[0])})"
    return f"({', '.join(cols)}) INCLUDE ({', '.join(carried[0])})"


def main():
    for engine in ("sqlite", "postgresql", "sqlserver"):
        out = [HEADS[engine]]
        for name, columns, key, indexes in TABLES:
            lines = [column(engine, *c) for c in columns]
            # SQLite numbers an INTEGER PRIMARY KEY itself; it carries no separate constraint.
            identity = any(kind == "identity" for _, kind, _, _ in columns)
            if key and not (identity and engine == "sqlite"):
                lines.append(f"    CONSTRAINT PK_{name} PRIMARY KEY ({', '.join(key)})")
            table = f"[{name}]" if engine == "sqlserver" else name
            # The register is kept in key order, as a clustered key keeps it on SQL Server, so
            # that the device list reads it in that order without sorting.
            tail = " WITHOUT ROWID" if engine == "sqlite" and name == "DEVICE" else ""
            out.append(f"CREATE TABLE {table} (\n" + ",\n".join(lines) + f"\n){tail};\n")
            for index, cols, *carried in indexes:
                note = f"-- {NOTES[index]}\n" if index in NOTES else ""
                columns = index_columns(engine, cols, carried)
                out.append(note + f"CREATE INDEX {index} ON {table} {columns};\n")
        with open(f"{engine}.sql", "w", encoding="utf-8") as f:
            f.write("\n".join(out))


if __name__ == "__main__":
    main()
