// The database both benchmarks read: `rows` rows of eight columns of every common type (integers,
// reals, decimals, dates, short and longer texts), made with one recursive query so that building
// a million rows takes seconds.
#pragma once

#include <fstream>
#include <string>

#include "core/AppContext.h"
#include "data/AdoDatabase.h"

inline void MakeDatabase(const std::string& path, long rows) {
    std::ofstream(path, std::ios::trunc).close();
    orvik::AppContext context(orvik::AppContextOptions{"/tmp/", path + ".ini", nullptr});
    CADODatabase db;
    db.Open("Provider=SQLite;Data Source=" + path);
    db.Execute(
        "CREATE TABLE t (id integer, qty integer, price double precision, amount numeric(12,2), "
        "day date, name varchar(30), city varchar(20), note text)");
    db.Execute(
        "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < " +
        std::to_string(rows) +
        ") SELECT x, x % 97, (x % 100000) * 1.25, (x % 7919) * 3.5, "
        "date('2024-01-01', '+' || (x % 365) || ' days'), 'Customer ' || (x % 5000), "
        "CASE x % 3 WHEN 0 THEN 'Moscow' WHEN 1 THEN 'Kazan' ELSE 'Omsk' END, "
        "'order note ' || x FROM c");
}
