#!/usr/bin/env bash
# Runs a report with an Excel workbook step unattended through the real program and its Xlsx
# plug-in, and reads the workbook back with openpyxl: worksheet names made safe and unique, the
# title row, numbers as numbers with the format the page shows them in, texts untouched, the
# cube sheet's spanned headers merged; a file name that a parameter leads out of the work folder
# is refused; a missing folder is made; a failed step prints one line, whatever the library
# printed; and what a killed run left behind is swept, and nothing else.
set -u
source "$(dirname "$0")/common.bash" "$1"
source_dir="$2"
built="$(dirname "$orvik")"
python=/usr/bin/python3
[ -f "$built/Xlsx.rll" ] || fail "the Xlsx plug-in was not built (libxlsxwriter missing?)"
"$python" -c 'import openpyxl' 2>/dev/null || fail "python3-openpyxl is not installed"
cp "$built/Xlsx.rll" . || fail "cannot install the plug-in"
mkdir -p examples/sales
cp "$built/examples/sales/sales.db" "$built/examples/sales/sales-cube.xml" examples/sales/ ||
  fail "example not built"

# A mail sink for the step that attaches the workbook; it reports its port as its first line.
mailbox="$home/mail"
mkdir -p "$mailbox"
coproc SINK { exec "$python" "$source_dir/tests/net/smtp_sink.py" "$mailbox"; }
trap 'kill "$SINK_PID" 2>/dev/null; rm -rf "$home"' EXIT
read -r -t 15 port <&"${SINK[0]}" || fail "the mail sink did not start (python3-aiosmtpd?)"

sqlite3 items.db <<'SQL' || fail "cannot make the database"
CREATE TABLE items (name text, code text, qty integer, amount real);
INSERT INTO items VALUES ('Widget', '007', 3, 1234.5), ('=1+1', '12', -2, -1234567.25),
  ('<b>Gadget</b>', '12345678901234567890', 1000, 0.5), (CAST(X'41FF42' AS TEXT), '1,5', 0, 0);
SQL

cat > book.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Items</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/items.db</DSN>
		<Qry>select name, code, qty, amount from items order by rowid</Qry>
	</DS>
	<DS>
		<Name>Detail</Name>
		<tpDS>OLAP</tpDS>
		<DSN>Provider=Orvik.Cube;Data Source=examples/sales/sales.db;Catalog=examples/sales/sales-cube.xml</DSN>
		<bQ>1</bQ>
		<nCube>Sales</nCube>
		<Qry>SELECT {[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS,
  NON EMPTY Crossjoin({[Product].[Category].Members}, {[Time].[Year].Members}) ON ROWS
FROM [Sales]</Qry>
	</DS>
	<DS>
		<Name>ByYear</Name>
		<tpDS>OLAP</tpDS>
		<DSN>Provider=Orvik.Cube;Data Source=examples/sales/sales.db;Catalog=examples/sales/sales-cube.xml</DSN>
		<bQ>0</bQ>
		<nCube>Sales</nCube>
		<MDXD>[Measures].[Amount]</MDXD>
		<MDXD>[Measures].[Quantity]</MDXD>
		<MDXC>[Time].[Year]</MDXC>
		<MDXR>[Region].[Region]</MDXR>
	</DS>
	<ACT>
		<Name>Book</Name>
	</ACT>
	<ACT>
		<Name>Escape</Name>
	</ACT>
	<ACT>
		<Name>Mail</Name>
	</ACT>
	<ACT>
		<ActParent>2</ActParent>
		<Name>Attached</Name>
		<AType>XLSX</AType>
		<OutFile>Mailed.xlsx</OutFile>
	</ACT>
	<ACT>
		<ActParent>2</ActParent>
		<Name>Send</Name>
		<AType>SMTP</AType>
		<Srv>127.0.0.1:$port</Srv>
		<Adr>boss@example.org</Adr>
		<Subj>Items</Subj>
		<Files>Mailed.xlsx</Files>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Workbook</Name>
		<AType>XLSX</AType>
		<OutFile>Items \`Region.xlsx</OutFile>
	</ACT>
	<ACT>
		<ActParent>1</ActParent>
		<Name>Away</Name>
		<AType>XLSX</AType>
		<OutFile>\`Target</OutFile>
	</ACT>
	<SHEET>
		<Name>Items/2024: Q1?</Name>
		<cDS>Items</cDS>
		<tpVW>GRID</tpVW>
		<bVis>1</bVis>
		<Title>Items for \`Region</Title>
		<hBC>255,204,0</hBC>
		<hF>Verdana,120,B,0,</hF>
	</SHEET>
	<SHEET>
		<Name>Items_2024_ Q1_</Name>
		<cDS>Items</cDS>
		<tpVW>GRID</tpVW>
		<bVis>1</bVis>
	</SHEET>
	<SHEET>
		<Name>Hidden</Name>
		<cDS>Items</cDS>
		<tpVW>GRID</tpVW>
		<bVis>0</bVis>
	</SHEET>
	<SHEET>
		<Name>Detail</Name>
		<cDS>Detail</cDS>
		<tpVW>GRID</tpVW>
		<bVis>1</bVis>
	</SHEET>
	<SHEET>
		<Name>ByYear</Name>
		<cDS>ByYear</cDS>
		<tpVW>GRID</tpVW>
		<bVis>1</bVis>
	</SHEET>
	<PRM>
		<Name>Region</Name>
		<PrmVal>North</PrmVal>
	</PRM>
	<PRM>
		<Name>Target</Name>
		<PrmVal>x.xlsx</PrmVal>
	</PRM>
</root>
OVK

"$orvik" book.ovk /act:Book || fail "exit status $?"
book="$home/HTML/Items North.xlsx"
[ -f "$book" ] || fail "no workbook at $book"
grep -q "XLSX $book: 4 sheets, " Orvik18.log || fail "workbook not logged"
ls -a HTML | grep -q '^\.orvik-tmp-' && fail "the temporary file was left behind"

"$python" - "$book" <<'PY' || fail "workbook content"
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
def check(ok, what):
    if not ok:
        print("workbook:", what); sys.exit(1)
check(wb.sheetnames == ["Items_2024_ Q1_", "Items_2024_ Q1_ (2)", "Detail", "ByYear"],
      "sheet names %r" % wb.sheetnames)
ws = wb["Items_2024_ Q1_"]
rows = [[c.value for c in row] for row in ws.iter_rows()]
check(rows[0][0] == "Items for North", "title row %r" % rows[0])
check(rows[1] == ["name", "code", "qty", "amount"], "header row %r" % rows[1])
check(ws["A2"].font.b and ws["A2"].font.name == "Verdana" and ws["A2"].font.sz == 12,
      "header font %r" % ws["A2"].font)
check(ws["A2"].fill.fgColor.rgb.endswith("FFCC00"), "header colour %r" % ws["A2"].fill.fgColor.rgb)
check(rows[2] == ["Widget", "007", 3, 1234.5], "row 1 %r" % rows[2])
check(rows[3] == ["=1+1", 12, -2, -1234567.25], "row 2 %r" % rows[3])
check(rows[4] == ["<b>Gadget</b>", "12345678901234567890", 1000, 0.5], "row 3 %r" % rows[4])
# A byte that is no UTF-8 must not spoil the file (openpyxl would not have read it).
check(rows[5][0].startswith("A") and rows[5][1] == "1,5", "row 4 %r" % rows[5])
check(ws["A4"].data_type == "s", "a text that looks like a formula became %r" % ws["A4"].data_type)
check(ws["D3"].number_format == "#,##0.00" and ws["C3"].number_format == "0",
      "number formats %r %r" % (ws["D3"].number_format, ws["C3"].number_format))
check(ws.column_dimensions["D"].width > ws.column_dimensions["C"].width, "column widths")
# The second sheet has no title: its grid starts on the first row.
check(wb["Items_2024_ Q1_ (2)"]["A1"].value == "name", "untitled sheet")

# The cube sheets: each year heads its two measures over merged cells, and each category its
# years down merged row headers.
merged = sorted(wb["ByYear"].merged_cells.ranges, key=lambda r: r.min_col)
check(merged and all(r.min_row == r.max_row == 1 and r.max_col == r.min_col + 1 for r in merged)
      and [r.min_col for r in merged] == list(range(2, 2 * len(merged) + 1, 2)),
      "ByYear merges %r" % merged)
detail = wb["Detail"]
spans = [r for r in detail.merged_cells.ranges if r.min_col == 1]
check(len(spans) >= 2 and all(detail.cell(r.min_row, 1).value for r in spans),
      "Detail row-header merges %r" % spans)
check(isinstance(detail.cell(spans[0].min_row, 3).value, (int, float)), "cube cells are numbers")
PY

# A mail step after the workbook step attaches it by the name the step wrote.
"$orvik" book.ovk /act:Mail || fail "mail run exit status $?"
[ -f "$mailbox/001.eml" ] || fail "no mail arrived"
"$python" - "$mailbox/001.eml" <<'PY' || fail "mailed workbook"
import email, io, sys, openpyxl
message = email.message_from_binary_file(open(sys.argv[1], "rb"))
parts = [p for p in message.walk() if p.get_filename() == "Mailed.xlsx"]
if len(parts) != 1:
    print("attachments:", [p.get_filename() for p in message.walk()]); sys.exit(1)
book = openpyxl.load_workbook(io.BytesIO(parts[0].get_payload(decode=True)))
if book.sheetnames[0] != "Items_2024_ Q1_":
    print("mailed sheets:", book.sheetnames); sys.exit(1)
PY

# A parameter may not lead the file out of the work folder, nor make its name absolute.
for target in ../x.xlsx "$home/abs.xlsx" 'a/../../x.xlsx'; do
  : > Orvik18.log
  "$orvik" book.ovk /act:Escape "/prm:Target=$target" && fail "$target: the run must fail"
  grep -q "XLSX step Away: the file name '.*' \(leads out of its folder\|became absolute\)" Orvik18.log ||
    fail "$target: refusal not logged"
done
[ -e "$home/x.xlsx" ] || [ -e "$home/abs.xlsx" ] && fail "a workbook was written outside the work folder"

# Cells as the page shows them: a number only where the page spells one plainly. "07" and "-07"
# are codes, "+7" a prefix, "1e5" and "007.0" no way the page writes a number, "0 123" and
# "0,123" neither (the second is 0.123 in half the world): all stay the text shown. "0", "0.5",
# "1 234.50" and "1,234" are numbers shown as they were. The page trims " 7" to "7", so the
# workbook holds the number 7 the page shows.
sqlite3 cells.db <<'SQL' || fail "cannot make the cells database"
CREATE TABLE cells (shown text);
INSERT INTO cells VALUES ('07'), ('0'), ('0.5'), ('-07'), ('1 234.50'), ('1e5'), (' 7'),
  ('007.0'), ('+7'), ('0 123'), ('0,123'), ('1,234'), ('-0.25');
SQL
cat > cells.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Cells</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/cells.db</DSN>
		<Qry>select shown from cells order by rowid</Qry>
	</DS>
	<ACT>
		<Name>Book</Name>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Cells</Name>
		<AType>XLSX</AType>
		<OutFile>\`Target</OutFile>
	</ACT>
	<SHEET>
		<Name>Cells</Name>
		<cDS>Cells</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
	<PRM>
		<Name>Target</Name>
		<PrmVal>cells/new/Cells.xlsx</PrmVal>
	</PRM>
</root>
OVK

# The workbook's folder inside the work folder is made when missing, as a page's is.
: > Orvik18.log
"$orvik" cells.ovk /act:Book || fail "a workbook in a new folder: exit status $?"
out="$home/HTML/cells/new"
[ -f "$out/Cells.xlsx" ] || fail "no workbook in the new folder"
grep -q "XLSX step Cells: made the folder $out/" Orvik18.log || fail "the new folder is not logged"
"$python" - "$out/Cells.xlsx" <<'PY' || fail "cells"
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
expected = [("07", "s", "General"), (0, "n", "0"), (0.5, "n", "0.0"), ("-07", "s", "General"),
            (1234.5, "n", "#,##0.00"), ("1e5", "s", "General"), (7, "n", "0"),
            ("007.0", "s", "General"), ("+7", "s", "General"), ("0 123", "s", "General"),
            ("0,123", "s", "General"), (1234, "n", "#,##0"), (-0.25, "n", "0.00")]
got = [(c.value, c.data_type, c.number_format) for (c,) in ws.iter_rows(min_row=2)]
for want, have in zip(expected, got):
    if want != have or type(want[0]) is not type(have[0]):
        print("cell: wanted %r, got %r" % (want, have)); sys.exit(1)
if len(got) != len(expected):
    print("cells:", got); sys.exit(1)
PY

# What a run killed while writing left in the folder (last written an hour ago) goes at the next
# run; a user's files that only look like it, and a link with its very name, stay.
leftover="$out/.orvik-tmp-Cells.xlsx.K1lled"
printf 'torn' > "$leftover"
printf 'mine' > "$out/.orvik-tmp-notes.txt"
printf 'mine' > "$out/.Cells.xlsx.K1lled"
printf 'mine' > "$out/orvik-tmp-Cells.xlsx.K1lled"
printf 'keep' > "$home/precious"
ln -s "$home/precious" "$out/.orvik-tmp-link.xlsx.L1nked"
touch -h -d '1 hour ago' "$out"/.orvik-tmp-* "$out"/.Cells.xlsx.K1lled "$out"/orvik-tmp-*
"$orvik" cells.ovk /act:Book || fail "the run after a killed one: exit status $?"
[ -e "$leftover" ] && fail "the killed run's temporary file is still there"
for kept in .orvik-tmp-notes.txt .Cells.xlsx.K1lled orvik-tmp-Cells.xlsx.K1lled; do
  [ "$(cat "$out/$kept")" = mine ] || fail "the user's file $kept was touched"
done
[ -L "$out/.orvik-tmp-link.xlsx.L1nked" ] || fail "a link was removed"
[ "$(cat "$home/precious")" = keep ] || fail "a link was followed"

# A step that fails prints one line, naming the step's reason; the log names the plug-in, not
# the source it was built from. A file where the folder should be cannot become one:
printf 'x' > "$out/blocker"
: > Orvik18.log
"$orvik" cells.ovk /act:Book "/prm:Target=cells/new/blocker/x.xlsx" 2> stderr.txt &&
  fail "a folder that cannot be made must fail the run"
grep -q "XLSX step Cells: cannot make the folder $out/blocker/ for $out/blocker/x.xlsx: " Orvik18.log ||
  fail "the folder that cannot be made is not named"
[ "$(wc -l < stderr.txt)" = 1 ] || fail "stderr: $(cat stderr.txt)"
grep -q "in file=Xlsx.rll;" Orvik18.log || fail "the error does not name the plug-in"
grep -q '\.cpp' Orvik18.log && fail "the error names a source file"
# and a disk that fills while the library writes (a file size limit here), which it reports by
# printing on stderr itself: that goes to the log, the terminal still gets one line.
: > Orvik18.log
(trap '' XFSZ; ulimit -f 4; exec "$orvik" cells.ovk /act:Book) 2> stderr.txt &&
  fail "a workbook that does not fit must fail the run"
[ "$(wc -l < stderr.txt)" = 1 ] || fail "stderr: $(cat stderr.txt)"
grep -q "XLSX step Cells: cannot write $out/Cells.xlsx: libxlsxwriter: .*(File too large)" stderr.txt ||
  fail "stderr does not say why: $(cat stderr.txt)"
grep -q "XLSX step Cells: libxlsxwriter: \[ERROR\] .*File too large" Orvik18.log ||
  fail "the library's own message is not in the log"
ls -a "$out" | grep -q '^\.orvik-tmp-Cells' && fail "the failed step left its temporary file"
echo "xlsx workbook checks passed"
