#!/usr/bin/env bash
# Writes the small directory files that seed fuzz_open_db (fuzz/corpus/fuzz_open_db/).
# 512-byte pages keep them a few kilobytes each, so the fuzzer mutates little
# besides the structures that matter. Needs the sqlite3 shell.
set -euo pipefail
out="${1:-$(cd "$(dirname "$0")" && pwd)/corpus/fuzz_open_db}"
mkdir -p "$out"
ddl="CREATE TABLE Vlasnici (Telefon VARCHAR(16), Vlasnik VARCHAR(50), Adresa VARCHAR(50),
  Mesto VARCHAR(16), Napomena TEXT);
CREATE INDEX ixVlasniciTelefon ON Vlasnici (Telefon);"
rows="INSERT INTO Vlasnici VALUES
  ('011/111-111', 'Marković Milan', 'Kneza Miloša 12', 'Kostelin', NULL),
  ('011/222-222', 'Šabac Trgovina', 'Cara Dušana 4', 'Šabac', 'radno vreme 8-16'),
  ('012/333-333', 'Đorđević Ana', 'Njegoševa 7a', NULL, ''),
  ('013/444-444', 'MILIĆ Žarko', 'Vojvode Mišića 1', 'Kostelin', NULL),
  ('014/555-555', 'D''Arc Jovana', 'Trg (1)(2)', 'Brod', 'napomena koja je nešto duža
u dva reda');"
make() { # name, sql
  rm -f "$out/$1"
  sqlite3 "$out/$1" "PRAGMA page_size=512; $2" >/dev/null
}
make empty.db "$ddl"
make five.db "$ddl $rows"
# Twenty rows, the sample tool's layout, numbered the way it numbers them.
twenty="$ddl"
for i in $(seq 1 20); do
  twenty+=" INSERT INTO Vlasnici VALUES ('0$((10 + i % 7))/$((100 + i))-$((200 + i * 3))',
    'Pretplatnik $i', 'Ulica $((i * 2))', 'Mesto $((i % 3))', $([ $((i % 4)) -eq 0 ] && echo NULL || echo "'n$i'"));"
done
make twenty.db "$twenty"
make wal.db "PRAGMA journal_mode=WAL; $ddl $rows"
# Shapes the engine must refuse or cope with.
make extra_column.db "CREATE TABLE vlasnici (ID INTEGER PRIMARY KEY, telefon TEXT NOT NULL,
  vlasnik TEXT, adresa TEXT, mesto TEXT CHECK (mesto <> 'X'), napomena CLOB, dodatak BLOB);
  INSERT INTO vlasnici VALUES (1, '1', 'a', 'b', 'c', 'd', x'00ff');"
make rowid_columns.db "CREATE TABLE Vlasnici (rowid TEXT, _rowid_ TEXT, oid TEXT, Telefon TEXT,
  Vlasnik TEXT, Adresa TEXT, Mesto TEXT, Napomena TEXT); INSERT INTO Vlasnici VALUES
  ('a','b','c','1','2','3','4','5');"
make view.db "CREATE TABLE t (Telefon TEXT, Vlasnik TEXT, Adresa TEXT, Mesto TEXT,
  Napomena TEXT); CREATE VIEW Vlasnici AS SELECT * FROM t;"
make numeric.db "CREATE TABLE Vlasnici (Telefon INTEGER, Vlasnik TEXT, Adresa TEXT,
  Mesto TEXT, Napomena TEXT); INSERT INTO Vlasnici VALUES (123, 'x', 'y', 'z', 'w');"
make without_rowid.db "CREATE TABLE Vlasnici (Telefon TEXT PRIMARY KEY, Vlasnik TEXT,
  Adresa TEXT, Mesto TEXT, Napomena TEXT) WITHOUT ROWID; $rows"
make unique_replace.db "CREATE TABLE Vlasnici (Telefon TEXT UNIQUE ON CONFLICT REPLACE,
  Vlasnik TEXT, Adresa TEXT, Mesto TEXT, Napomena TEXT); $rows
  INSERT INTO Vlasnici VALUES ('099/999-999', 'x', 'y', 'z', 'w');"
make trigger.db "$ddl $rows CREATE TABLE log (x); CREATE TRIGGER t AFTER INSERT ON Vlasnici
  BEGIN INSERT INTO log VALUES (new.Telefon); END;"
ls -l "$out"
