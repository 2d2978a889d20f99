CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL, born DATE, salary NUMERIC(10,2), photo BLOB)
INSERT INTO people VALUES (1, 'Zoë Ångström', '1990-05-01', 1234.5, X'00FF10')
INSERT INTO people VALUES (2, 'Bob', {d '1985-12-24'}, NULL, NULL)
INSERT INTO people VALUES (1, 'duplicate', NULL, NULL, NULL)
UPDATE people SET salary = salary * 2 WHERE id = 1
SELECT id, name, born, salary, photo FROM people ORDER BY id
CREATE PROCEDURE older_than (IN year_ INTEGER) AS SELECT name FROM people WHERE born < :year_ || '-01-01' ORDER BY name
{call older_than(1989)}
SELECT count(*) AS n FROM people WHERE name LIKE 'Z%'
help
help people
