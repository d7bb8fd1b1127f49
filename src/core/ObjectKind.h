// What kind of thing the designer is showing or editing. The explorer's items, the property bar's
// contents and the consequences of an edit all depend on it, and the core names it when it asks a
// front end to show an object's properties.
#pragma once

namespace orvik {

enum class ObjectKind {
    None,         // nothing: an explorer root, an empty property bar
    Settings,     // the program settings, which belong to the user, not to the report
    Report,       // the report object: report-level properties and every parameter's value
    Sheet,        // a sheet (the report object is one too, told apart by IsReportObject)
    DataSource,   // a data source
    Parameter,    // a parameter
    GridColumns,  // a sheet's settings for one grid column
    Task,         // a task or one of its steps
};

}  // namespace orvik
