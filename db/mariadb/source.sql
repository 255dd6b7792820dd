-- A source database (MariaDB): the table a dataset selects its sample from. The
-- repository's DtsSource row names the DSN of this database, Dataset.DtsSql selects
-- from Clients and DtsColumn describes its columns. Create it with
--     mariadb --database=<database> < db/mariadb/source.sql
--
-- The bank's clients and the risk class the bank put each one in; the columns cover
-- the value kinds a sample can hold.
CREATE TABLE Clients (
    ClientID  INTEGER          NOT NULL PRIMARY KEY,
    Name      VARCHAR(100),              -- text
    Notes     TEXT,                      -- long text
    Age       INTEGER,                   -- coded
    Children  SMALLINT,                  -- coded
    Account   BIGINT,
    Income    NUMERIC(12,2),             -- real
    Debt      DOUBLE PRECISION,          -- real
    Score     REAL,                      -- real
    Married   BOOLEAN,
    BirthDate DATE,                      -- date
    Visited   DATETIME,                  -- date and time (TIMESTAMP would move with the time zone)
    CallTime  TIME,                      -- time of day
    Risk      SMALLINT                   -- the class: 1 reliable, 2 doubtful, 3 unreliable
) ENGINE=InnoDB;
