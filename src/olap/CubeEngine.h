// "Orvik.Cube": the embedded cube engine. A connection string names a database (a SQLite file, or
// in double quotes any connection string the SQL data sources accept) and a cube schema file;
// MDX runs against the cubes the schema describes, with every aggregation done by the database in
// grouped SQL queries. Member lists are read once per connection and kept.
#pragma once

#include <memory>
#include <string>

#include "olap/OlapConnection.h"

namespace orvik {

// Where the last cube query spent its time, for benchmarks and the log.
struct CubeQueryTimings {
    double ParseSeconds = 0;
    double SqlSeconds = 0;       // grouped cell queries (member lists are read once, not counted)
    double AssemblySeconds = 0;  // evaluation and the cell set, without the SQL
    int SqlQueries = 0;
};

// The timings of the last query a cube connection ran on this thread.
CubeQueryTimings LastCubeQueryTimings();

// Opens a cube connection for `connectionString` (what the "Orvik.Cube" provider does).
// Throws CADOException when the database cannot be opened.
std::shared_ptr<OlapConnection> OpenCubeConnection(const std::string& connectionString,
                                                   const std::string& programFolder = {});

}  // namespace orvik
