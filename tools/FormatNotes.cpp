// What the schema does not say about a property or type: the captions are the property bar's
// labels, and some say little to someone writing a report by hand ("Name", "Files"). Each note
// must still name something the schema has (FormatReference::Fill refuses a page otherwise), and
// a property or type whose caption is only its name must have one.
#include "FormatDoc.h"

namespace orvik::formatdoc {

const Notes& BuiltinNotes() {
    static const Notes notes = {
        // The report element.
        {"report.HTMLayout",
         "The layout page: HTML the parameter panels and sheets are poured into. The element with "
         "`id=OrvikParam<n>` receives the panel of the n-th parameter, `id=OrvikSheet<n>` the "
         "n-th sheet (both counted from 0 in file order); a panel or sheet without a place goes at "
         "the end. "
         "Empty: the page is the panels and sheets one after another."},
        {"report.HTMLPath",
         "The folder the layout page came from; mail and FTP may send the pictures in it."},
        {"report.PlainParams",
         "`1`: parameter values go into queries, commands and file names as they stand, "
         "unquoted (see *Parameters in texts*); the log says so when it is used."},
        {"report.DateArithmetic",
         "`NoCarry`: date expressions work out each component on its own, without carrying "
         "(`d-1` on the first of a month is an invalid date), as reports written before carrying "
         "expect (see *Date expressions*); the log says so when it is used. Empty: components "
         "carry."},

        // Sheets and their grid.
        {"SHEET.Name",
         "The sheet's name, shown on its tab. A `SHEET` without one is the report element."},
        {"SHEET.cDS", "The data source whose result the sheet shows."},
        {"SHEET.bVis", "`0` leaves the sheet out of the page."},
        {"SHEET.tpVW=GRID", "The result as an HTML table with a header row."},
        {"SHEET.Title", "The heading above the table. May hold parameters."},
        {"SHEET.bTB", "`1` draws the table's borders."},
        {"SHEET.bGCH", "`1` shades the header cells with a gradient."},
        {"SHEET.bGCG", "`1` shades the data cells with a gradient."},

        // Grid column settings.
        {"GCols.ColN", "The header text; starts as the column's name in the result."},
        {"GCols.ColT=DEF", "The value as text."},
        {"GCols.ColT=BT", "A bar sized by the value within the column's range, then the text."},
        {"GCols.ColT=GSP", "A picture of a numbered series chosen by the value."},
        {"GCols.BCP", "Colour of the bars of values of 0 and more."},
        {"GCols.BCN", "Colour of the bars of negative values."},
        {"GCols.SPT", "How picture and text share the cell."},
        {"GCols.SPF",
         "One file of the series (`Images/level1.gif`): the files with the same name and "
         "another number beside it form the series. A relative path lies in the program folder. "
         "May hold parameters."},

        // Data sources.
        {"DS.Name",
         "The name sheets and parameters use for it. A `DS` without one is dropped when read."},
        {"DS.tpDS", "The kind of source (below)."},
        {"DS.DSN",
         "The connection string, `Key=Value;...`. `Provider=SQLite;Data Source=<file>` opens a "
         "SQLite database; `Provider=ODBC` (or `MSDASQL`, or no provider) passes the other keys to "
         "the ODBC driver manager (`Driver=...` or `DSN=...`); `SQLOLEDB`, `SQLNCLI` and "
         "`MSOLEDBSQL` reach SQL Server through its ODBC driver. May hold parameters."},
        {"DS.Qry",
         "The query: SQL, or MDX for `OLAP`. SQL statements separated by `;` run in turn and the "
         "last one's result is shown; a `;` inside a string or a comment separates nothing. May "
         "hold parameters. Not written when an `OLAP` query is built with the builder."},
        {"DS.tpDS=SQL", "A query against a database; the result's columns are the grid's."},
        {"DS.tpDS=KPI",
         "The KPI list of the connection's cube, shown with status and trend pictures from the "
         "program folder's `Images/`."},
        {"DS.tpDS=OLAP", "An MDX query against a cube; its cell set is shown with row headers."},
        {"DS.bQ",
         "`1`: `Qry` holds the MDX. `0`: the query is built from the builder's items (the "
         "`MDX...` elements below)."},
        {"DS.nCube", "A cube (or perspective) of the connection."},

        // Parameters.
        {"PRM.Name",
         "The name texts use: `` `Name `` in a query, title or command stands for the value."},
        {"PRM.Type", "How the value is chosen (below)."},
        {"PRM.PrmVal",
         "The value. Date expressions and other placeholders in it are worked out each time it "
         "is used. Several list entries are written `[a],[b]`."},
        {"PRM.Tit", "Shown beside the value in the parameter's panel."},
        {"PRM.bVis", "`0`: no panel on the page; the value is still used."},
        {"PRM.pTB", "`1` draws the panel's border."},
        {"PRM.pGC", "`1` shades the panel with a gradient."},
        {"PRM.Type=str", "Any text."},
        {"PRM.Type=date", "A date, picked in a calendar; a date expression is kept as written."},
        {"PRM.Type=rprop", "Stands for another property of the report, named by `cprop`."},
        {"PRM.Type=pcmb", "One entry of `cmbels`."},
        {"PRM.Type=pcmbm", "Any entries of `cmbels`, written `[a],[b]`."},
        {"PRM.Type=DScmb", "Values of a column of a data source; several are written `[a],[b]`."},
        {"PRM.cprop",
         "The property, by position: `{D.d.p}` property p of data source d, `{S.s.p}` of sheet "
         "s, `{C.s.c.p}` of column setting c of sheet s, each counted from 1 in file order."},
        {"PRM.cmbels", "The entries, separated by `;`."},
        {"PRM.cDS", "The data source the values come from."},
        {"PRM.cDST", "The table (or cube) of the column."},
        {"PRM.cDSC", "The column (or dimension) whose distinct values are offered."},
        {"PRM.cDSW",
         "A condition the values must meet, the `Where` condition of the query that reads them."},

        // Tasks and steps.
        {"ACT.Name",
         "A task's name is what `/act:<name>` runs; a step's name is logged and starts a mail's "
         "default subject."},
        {"ACT.AType",
         "The step's type (below). A top-level task has none: a type read for it is dropped."},
        {"ACT.AType=SMTP",
         "Mails the page, pictures inline, with `Files` attached; the mail server must accept "
         "it or the run stops."},
        {"ACT.AType=BURST",
         "Mails each recipient their own page: for every row of `BurstQry` the parameter "
         "`BurstPrm` takes the row's value, the data sources that use it run again and the "
         "page is mailed to the row's addresses as `SMTP` mails it. A recipient that fails is "
         "logged and counted, the others still get theirs, and the run then fails."},
        {"ACT.AType=FTP", "Uploads the page and its pictures, or `Files`."},
        {"ACT.AType=CMD",
         "Runs `cmd` through `/bin/sh -c`; its output goes to the log and an exit status other "
         "than 0 fails the run."},
        {"ACT.AType=HTML",
         "Builds the page into `HTML/Orvik.htm` in the program folder and keeps it for the steps "
         "after it."},
        {"ACT.AType=HTMFile",
         "Builds the page into `HTML/Orvik.htm` only; the steps after it read that file."},
        {"ACT.AType=GRP", "A group marker: it only logs where it stands."},
        {"ACT.SMTP.Srv",
         "`host` or `host:port` (port 25 when none). Empty: the setting `DefSrvMail`."},
        {"ACT.Adr",
         "The recipients, separated by `,`; after a `;` come those who get a copy (Cc). Empty: "
         "the setting `DefAdrTo`."},
        {"ACT.Cont",
         "The mail's HTML body; empty: the page. `file = <names>` sends no body and attaches "
         "those files in place of `Files`. May hold parameters; script in their values is "
         "removed."},
        {"ACT.SMTP.Files",
         "Files to attach, separated by `;`; `*` patterns allowed. A relative first entry lies "
         "in the `HTML/` work folder. May hold parameters."},
        {"ACT.BURST.Srv",
         "`host` or `host:port` (port 25 when none). Empty: the setting `DefSrvMail`."},
        {"ACT.BURST.Files",
         "Files attached to every mail, separated by `;`; `*` patterns allowed. May hold the "
         "parameter (`` `Region.pdf ``)."},
        {"ACT.BurstPrm",
         "The parameter each row sets; a list parameter takes only values of its list."},
        {"ACT.BurstDS", "The data source the recipients query runs on."},
        {"ACT.BurstQry",
         "The recipients query: first column the parameter's value, second the addresses, "
         "separated by `;` or `,`. May hold parameters."},
        {"ACT.Subj", "The subject; empty: the step's name and today's date. May hold parameters."},
        {"ACT.FTP.Srv",
         "`host` or `host:port` (port 21 when none), or with a scheme: `ftp://`, `ftps://` "
         "(port 990), `sftp://` (port 22); see `FtpSecurity`. Empty: the setting `DefSrvFTP`, "
         "else `DefSrvMail`."},
        {"ACT.User", "The login name."},
        {"ACT.Password", "The login password, written as it stands; the log masks it."},
        {"ACT.FTP.Files",
         "`*.*`: the page and its pictures. Otherwise the files to upload, separated by `;` (a "
         "relative first entry lies in the `HTML/` work folder); each keeps its name on the "
         "server."},
        {"ACT.cmd",
         "The command line, run in the run's current folder and stopped after `CmdTimeout` "
         "seconds. May hold parameters: each value is one shell word."},

        // Program settings.
        {"settings.Language",
         "One entry per language file `orvik18_<code>.lng` in the program folder; `ENG`, the "
         "built-in texts, when there is none."},
        {"settings.DefSrvMail",
         "The mail server of mail steps that name none; the last choice for FTP too."},
        {"settings.DefAdrFrom",
         "The sender of every mail; may carry a name: `Reports <reports@example.org>`."},
        {"settings.DefAdrTo", "The recipients of mail steps that name none."},
        {"settings.CubeDebugLog",
         "`1` writes to the log which table answered each grouped query of the embedded cube "
         "engine: an aggregate table with its row count, or the fact table and what each "
         "aggregate lacked."},
        {"settings.PictureFolders",
         "Folders, separated by `;`, that mail and FTP may send pictures from besides the "
         "program folder, the work folder, the report's folder and the layout's."},
    };
    return notes;
}

const std::vector<FileElement>& BuiltinFileElements() {
    static const std::vector<FileElement> elements = {
        {"report", "", "PrmVal",
         "Each parameter's value, one element per `PRM` in their order. Ignored when read: the "
         "`PRM` holds the value.",
         "text"},
        {"SHEET", "", "GCols", "The grid column settings, one `C<key>` element per column (below).",
         "elements"},
        {"DS", "tpDS=OLAP", "MDXC",
         "A builder item on the columns, used when `bQ` is `0`; one element per item, in order; "
         "attribute `Filter` holds the item's filter.",
         "unique name, `[Time].[1997]`"},
        {"DS", "tpDS=OLAP", "MDXR", "A builder item on the rows, as `MDXC`.", "unique name"},
        {"DS", "tpDS=OLAP", "MDXF", "A builder item in the filter, as `MDXC`.", "unique name"},
        {"DS", "tpDS=OLAP", "MDXD", "A builder item shown read-only; no `Filter`.", "unique name"},
        {"ACT", "", "ActParent",
         "Makes the `ACT` a step of a task: the position of the task's `ACT` among all `ACT` "
         "elements, counted from 0; the task must come earlier. Without it the `ACT` is a "
         "top-level task.",
         "whole number"},
    };
    return elements;
}

}  // namespace orvik::formatdoc
