#!/usr/bin/env bash
# A sheet whose last row holds a character the page's windows-1251 cannot hold ("Café") is written
# whole: the character goes as a reference, the sheet's table ends where it should and the next
# sheet follows it instead of landing inside its last cell. Both ways a page is made are run: the
# plain page written as it is built, and a layout page that declares windows-1251 itself. Bytes
# that are no text (a blob) and control characters do not get onto the page either.
set -u
source "$(dirname "$0")/common.bash" "$1"

sqlite3 data.db <<'SQL' || fail "sqlite3"
create table a (name text, amount int);
insert into a values ('Север', 10), ('Café', 20);
create table b (name text);
insert into b values ('next sheet row');
create table blob (v blob);
insert into blob values (x'436166650001E9077F');
SQL

write_report() {
  local file="$1" layout="$2"
  {
    echo '<?xml version="1.0" encoding="windows-1251" standalone="yes"?>'
    echo '<root>'
    [ -n "$layout" ] && printf '\t<SHEET>\n\t\t<HTMLayout>%s</HTMLayout>\n\t</SHEET>\n' "$layout"
    cat <<OVK
	<DS><Name>A</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select name, amount from a order by amount</Qry></DS>
	<DS><Name>B</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select name from b</Qry></DS>
	<ACT><Name>Daily</Name></ACT>
	<ACT><ActParent>0</ActParent><Name>Page</Name><AType>HTML</AType></ACT>
	<SHEET><Name>A</Name><cDS>A</cDS><tpVW>GRID</tpVW><Title>First</Title></SHEET>
	<SHEET><Name>B</Name><cDS>B</cDS><tpVW>GRID</tpVW><Title>Second</Title></SHEET>
</root>
OVK
  } > "$file"
  # With a blob, whose bytes are no text, the second sheet shows it below its row.
  [ "${with_blob:-}" ] && sed -i 's/select name from b/select name from b union all select v from blob/' "$file"
  return 0
}

# The page's text as a browser reads it: decoded from windows-1251, references resolved, one
# line per table row, and each table's rows inside it.
read_page() {
  python3 - "$1" <<'PY'
import html.parser, sys
class Rows(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables, self.depth_in_cell, self.row, self.cell = [], 0, None, False
    def handle_starttag(self, tag, attrs):
        if tag == "table":
            if self.cell: print("TABLE INSIDE A CELL")
            self.tables.append(dict(attrs).get("id"))
            print("table", self.tables[-1])
        elif tag == "tr": self.row = []
        elif tag == "td": self.cell = True; self.row.append("")
    def handle_endtag(self, tag):
        if tag == "td": self.cell = False
        elif tag == "tr" and self.row is not None: print("row", "|".join(self.row)); self.row = None
    def handle_data(self, data):
        if self.cell: self.row[-1] += data
raw = open(sys.argv[1], "rb").read()
Rows().feed(raw.decode("cp1251"))  # strict: a byte windows-1251 lacks raises
PY
}

check_page() {
  local what="$1" text
  text=$(read_page HTML/Orvik.htm) || fail "$what: the page is not valid windows-1251"
  grep -q 'INSIDE A CELL' <<<"$text" && fail "$what: the next sheet landed inside a cell: $text"
  grep -qx 'row Café|20' <<<"$text" || fail "$what: the last row does not read Café: $text"
  grep -qx 'row Север|10' <<<"$text" || fail "$what: the Cyrillic row is gone: $text"
  # The second sheet comes after the first, whole (with the blob's bytes made text).
  tr '\n' '~' <<<"$text" | grep -q "table OrvikSheet0~.*row Café|20~table OrvikSheet1~row name~row next sheet row~${with_blob:+row Cafe?~}\$" ||
    fail "$what: the sheets are not one after the other: $text"
  grep -aqi 'charset=windows-1251' HTML/Orvik.htm || fail "$what: the page no longer declares windows-1251"
  grep -aq '&#233;' HTML/Orvik.htm || fail "$what: é is not written as a reference"
  LC_ALL=C grep -aq $'[\x01-\x08\x0B\x0C\x0E-\x1F\x7F]' HTML/Orvik.htm && fail "$what: control characters on the page"
  return 0
}

write_report plain.ovk ''
"$orvik" plain.ovk /act:Daily || fail "plain run exited $?"
check_page "plain page"

layout='&lt;HTML&gt;&lt;HEAD&gt;&lt;META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=windows-1251"&gt;&lt;/HEAD&gt;&lt;BODY&gt;
&lt;DIV id=OrvikSheet0&gt;&lt;/DIV&gt;&lt;DIV id=OrvikSheet1&gt;&lt;/DIV&gt;
&lt;/BODY&gt;&lt;/HTML&gt;'
write_report layout.ovk "$layout"
"$orvik" layout.ovk /act:Daily || fail "layout run exited $?"
check_page "layout page"

with_blob=1
for kind in plain layout; do
  write_report $kind.ovk "$([ $kind = layout ] && echo "$layout")"
  "$orvik" $kind.ovk /act:Daily || fail "$kind run with a blob exited $?"
  check_page "$kind page with a blob"
done
echo "page charset checks passed"
