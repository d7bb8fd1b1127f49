#!/usr/bin/env bash
# Database values, a parameter value typed on the command line and the sheet title that shows it
# reach the exported page with their plain markup and without anything that runs: no script, no
# event handler, no script link. Both ways a page is made are checked: the plain page written as
# it is built, and the page poured into the user's layout, whose own script and comment stay.
set -u
source "$(dirname "$0")/common.bash" "$1"

sqlite3 data.db <<'SQL' || fail "sqlite3"
create table t (name text, note text);
insert into t values ('<b>bold</b>', '<script>alert("cell")</script>plain');
insert into t values ('<img src=x onerror=alert(2)>', '<a href="javascript:alert(3)">link</a>');
insert into t values ('<a href="https://example.com/">site</a>', 'x < 5 <IMG/SRC="y"/ONERROR=alert(4)>');
insert into t values ('<a href="&#106;ava&Tab;script:alert(5)">hidden</a>', '<svg/onload=alert(6)>');
SQL

# Writes a report whose sheet shows the table, under a header with markup, titled with `Who.
write_report() {
  local file="$1" layout="$2"
  {
    echo '<?xml version="1.0" encoding="windows-1251" standalone="yes"?>'
    echo '<root>'
    [ -n "$layout" ] && printf '\t<SHEET>\n\t\t<HTMLayout>%s</HTMLayout>\n\t</SHEET>\n' "$layout"
    cat <<OVK
	<DS>
		<Name>T</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select name as "&lt;i&gt;Name&lt;/i&gt;&lt;script&gt;alert(7)&lt;/script&gt;", note from t</Qry>
	</DS>
$(daily_task_with_page)
	<SHEET>
		<Name>T</Name>
		<cDS>T</cDS>
		<tpVW>GRID</tpVW>
		<Title>Notes for \`Who</Title>
	</SHEET>
	<PRM>
		<Name>Who</Name>
		<PrmVal>nobody</PrmVal>
		<bVis>1</bVis>
	</PRM>
</root>
OVK
  } > "$file"
}

check_page() {
  local what="$1" page
  page=$(iconv -f cp1251 -t utf-8 HTML/Orvik.htm) || fail "$what: no page"
  # Every attack above calls alert: none of them may be left, in a tag or as script text.
  grep -qi 'alert' <<<"$page" && fail "$what: active content left: $(grep -io '.\{40\}alert.\{20\}' <<<"$page")"
  grep -qi 'javascript\|onerror\|onload\|<svg' <<<"$page" && fail "$what: a script link or handler is left"
  for kept in '<b>bold</b>' '<a href="https://example.com/">site</a>' '<i>Name</i>' \
              '<img src=x >' 'x < 5 <IMG/SRC="y"/>' '>plain<' '<a >link</a>' '<u>Ann</u>'; do
    grep -qF "$kept" <<<"$page" || fail "$what: '$kept' is missing from the page"
  done
  grep -q '<CAPTION class=sh0>Notes for .*Ann.*</CAPTION>' <<<"$page" || fail "$what: title"
}

# The plain page, written as it is built.
write_report plain.ovk ''
"$orvik" plain.ovk /act:Daily '/prm:Who=<u>Ann</u><script>alert(8)</script>' || fail "plain run exited $?"
check_page "plain page"

# The page poured into a layout: the layout is the author's own and keeps its script.
layout='&lt;HTML&gt;&lt;HEAD&gt;&lt;SCRIPT&gt;var shown = "&lt;b&gt;layout&lt;/b&gt;";&lt;/SCRIPT&gt;&lt;/HEAD&gt;&lt;BODY&gt;
&lt;!-- the author'"'"'s comment --&gt;&lt;DIV id=OrvikParam0&gt;&lt;/DIV&gt;&lt;DIV id=OrvikSheet0&gt;&lt;/DIV&gt;
&lt;/BODY&gt;&lt;/HTML&gt;'
write_report layout.ovk "$layout"
"$orvik" layout.ovk /act:Daily '/prm:Who=<u>Ann</u><script>alert(8)</script>' || fail "layout run exited $?"
check_page "layout page"
page=$(iconv -f cp1251 -t utf-8 HTML/Orvik.htm)
grep -qF '<SCRIPT>var shown = "<b>layout</b>";</SCRIPT>' <<<"$page" || fail "the layout's script was changed"
grep -qF "<!-- the author's comment -->" <<<"$page" || fail "the layout's comment was changed"
echo "script in data checks passed"
