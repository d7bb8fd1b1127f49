-- Sample sales data for the example report: four regions, eight products and a year of orders
-- ending today, so a report run on any day finds recent data. The numbers are made up but
-- deterministic, so two builds on the same day give the same database. The table days is the
-- calendar the example cube (sales-cube.xml) reads its Time dimension from.
DROP TABLE IF EXISTS days;
DROP TABLE IF EXISTS sales;
DROP TABLE IF EXISTS products;
DROP TABLE IF EXISTS regions;

-- email is where each region's manager gets their own page (the Burst task); the addresses are
-- on a domain reserved for examples, so a run against a real mail server reaches nobody.
CREATE TABLE regions (id INTEGER PRIMARY KEY, name TEXT NOT NULL, manager TEXT NOT NULL,
                      email TEXT NOT NULL);
INSERT INTO regions VALUES
  (1, 'North', 'Ingrid Sole', 'ingrid.sole@example.com'),
  (2, 'South', 'Marco Vela', 'marco.vela@example.com'),
  (3, 'East', 'Anna Kovac', 'anna.kovac@example.com'),
  (4, 'West', 'Tom Reyes', 'tom.reyes@example.com');

CREATE TABLE products (id INTEGER PRIMARY KEY, name TEXT NOT NULL, category TEXT NOT NULL,
                       price NUMERIC(10, 2) NOT NULL);
INSERT INTO products VALUES
  (1, 'Road Bike 500', 'Bikes', 1249.00),
  (2, 'Trail Bike 300', 'Bikes', 899.00),
  (3, 'City Bike 100', 'Bikes', 549.00),
  (4, 'Rain Jacket', 'Clothing', 89.90),
  (5, 'Cycling Gloves', 'Clothing', 24.50),
  (6, 'Helmet Pro', 'Accessories', 129.00),
  (7, 'Bottle Cage', 'Accessories', 12.90),
  (8, 'LED Light Set', 'Accessories', 39.00);

CREATE TABLE sales (id INTEGER PRIMARY KEY, sale_date DATE NOT NULL,
                    region_id INTEGER NOT NULL REFERENCES regions(id),
                    product_id INTEGER NOT NULL REFERENCES products(id),
                    quantity INTEGER NOT NULL, amount NUMERIC(12, 2) NOT NULL,
                    target NUMERIC(12, 2) NOT NULL);

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000),
orders AS (
  SELECT i,
         date('now', '-' || ((i * 37) % 365) || ' days') AS sale_date,
         1 + ((i * 7 + i / 13) % 4) AS region_id,
         1 + ((i * 11 + i / 7) % 8) AS product_id,
         1 + ((i * 7919) % 5) AS quantity
  FROM n)
INSERT INTO sales
SELECT o.i, o.sale_date, o.region_id, o.product_id, o.quantity,
       round(o.quantity * p.price * (0.85 + ((o.i * 13) % 30) / 100.0), 2),
       -- What the region planned to sell on the order's line: the cube's KPIs measure the
       -- amount against it. North and West plan below what they sell, South above.
       round(o.quantity * p.price * (CASE o.region_id WHEN 1 THEN 0.92 WHEN 2 THEN 1.10
                                                      WHEN 3 THEN 1.02 ELSE 0.97 END), 2)
FROM orders o JOIN products p ON p.id = o.product_id;

CREATE INDEX sales_by_date ON sales(sale_date);

-- One row per day that has sales, with the year, quarter and month it falls in; month_name is
-- what the cube shows, month orders the names.
CREATE TABLE days (day DATE PRIMARY KEY, year INTEGER NOT NULL, quarter TEXT NOT NULL,
                   month INTEGER NOT NULL, month_name TEXT NOT NULL);
INSERT INTO days
SELECT d, CAST(strftime('%Y', d) AS INTEGER), 'Q' || ((m + 2) / 3), m,
       substr('JanFebMarAprMayJunJulAugSepOctNovDec', 3 * m - 2, 3)
FROM (SELECT DISTINCT sale_date AS d, CAST(strftime('%m', sale_date) AS INTEGER) AS m FROM sales);
