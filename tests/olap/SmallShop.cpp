#include "SmallShop.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>

#include "data/AdoCellSet.h"
#include "data/AdoException.h"

namespace orvik::test {
namespace {

const char* const kData = R"SQL(
CREATE TABLE month (month_id INTEGER PRIMARY KEY, the_year INTEGER, month_of_year INTEGER);
WITH RECURSIVE m(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM m WHERE i < 24)
INSERT INTO month SELECT i, 2022 + (i + 11) / 12, (i - 1) % 12 + 1 FROM m;
CREATE TABLE store (store_id INTEGER PRIMARY KEY, country TEXT, store_name TEXT);
INSERT INTO store VALUES (1, 'USA', 'Mom''s Place'), (2, 'USA', 'Corner Shop'),
  (3, 'USA', 'Big Mart'), (4, 'Canada', 'Maple Store'), (5, 'Canada', 'North Post');
CREATE TABLE product (product_id INTEGER PRIMARY KEY, product_name TEXT);
INSERT INTO product VALUES (1, 'Bread'), (2, 'Milk');
CREATE TABLE sales (month_id INTEGER, store_id INTEGER, product_id INTEGER, amount REAL);
INSERT INTO sales VALUES (1, 1, 1, 10.0), (2, 1, 2, 5.5), (3, 2, 1, 7.0), (13, 3, 2, 20.0),
  (14, 4, 1, 3.0), (24, 5, 2, 8.0), (24, 1, 1, 1.5);
)SQL";

const char* const kSchema = R"XML(<?xml version="1.0"?>
<Schema name="Shop">
  <Cube name="Sales">
    <Table name="sales"/>
    <Dimension name="Time" foreignKey="month_id">
      <Hierarchy hasAll="true" allMemberName="All Time" primaryKey="month_id">
        <Table name="month"/>
        <Level name="Year" column="the_year" type="Numeric" uniqueMembers="true"/>
        <Level name="Month" column="month_of_year" type="Numeric"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Store" foreignKey="store_id">
      <Hierarchy primaryKey="store_id">
        <Table name="store"/>
        <Level name="Country" column="country" uniqueMembers="true"/>
        <Level name="Store Name" column="store_name" uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Dimension name="Product" foreignKey="product_id">
      <Hierarchy hasAll="true" primaryKey="product_id">
        <Table name="product"/>
        <Level name="Product" column="product_name" uniqueMembers="true"/>
      </Hierarchy>
    </Dimension>
    <Measure name="Amount" column="amount" aggregator="sum"/>
  </Cube>
</Schema>
)XML";

}  // namespace

SmallShop::SmallShop() : database_(folder_.Path() + "shop.db") {
    if (const std::string error = ExecuteSqlite(database_, kData); !error.empty())
        throw std::runtime_error("cannot make " + database_ + ": " + error);
    schema_ = folder_.Write("shop.xml", kSchema);
}

std::string SmallShop::Connection() const {
    return "Provider=Orvik.Cube;Data Source=" + database_ + ";Catalog=" + schema_;
}

double SmallShop::Sql(const std::string& select) const {
    return SqliteNumber(database_, select);
}

void SmallShop::Execute(const std::string& sql) const {
    ASSERT_EQ(ExecuteSqlite(database_, sql), "");
}

std::string SmallShop::ErrorOf(const std::string& mdx) const {
    CADOMDCellSet cells;
    try {
        cells.Open(mdx, Connection());
    } catch (const CADOException& error) {
        return error.what();
    }
    return "";
}

}  // namespace orvik::test
