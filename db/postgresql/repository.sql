-- The repository database (PostgreSQL): the host's analysis tasks, the datasets they
-- work on, the source databases those come from, the tasks' algorithm parameters, and
-- what the runs write back. Create it in an empty UTF8 database with
--     psql -v ON_ERROR_STOP=1 -d <database> -f db/postgresql/repository.sql
-- and reach it through a DSN of the ANSI driver (psqlodbca.so) with
-- ConnSettings=SET client_encoding TO 'UTF8' and BoolsAsChar=0.
--
-- Texts are VARCHAR so that the driver reports them as strings.
--
-- Apart from keys, the columns the program reads may be NULL, as the host's own
-- repository allows: the program reports a missing value itself.

CREATE TABLE DtsSource (
    SrcID       INTEGER      NOT NULL PRIMARY KEY,
    SrcName     VARCHAR(100),
    SrcSysName  VARCHAR(100),            -- the ODBC data source name
    SrcUser     VARCHAR(100),
    SrcPassword VARCHAR(100)
);

CREATE TABLE Dataset (
    DtsID   INTEGER       NOT NULL PRIMARY KEY,
    DtsName VARCHAR(100),
    SrcID   INTEGER       REFERENCES DtsSource (SrcID),
    DtsSql  VARCHAR(4000)                -- its part from "FROM" on selects the sample
);

-- ColType, the logical type: 1 real; 2, 3, 4 coded (integers); 5, 6, 7 dates; 10 text.
CREATE TABLE DtsColumn (
    ColID      INTEGER      NOT NULL PRIMARY KEY,
    DtsID      INTEGER      REFERENCES Dataset (DtsID),
    ColSysName VARCHAR(100),             -- the column's name in the source database
    ColType    INTEGER
);

CREATE TABLE Task (
    TskID   INTEGER      NOT NULL PRIMARY KEY,
    TskName VARCHAR(100),
    DtsID   INTEGER      REFERENCES Dataset (DtsID)
);

-- ParSysName "in_col" marks an input column of the task, "out_col" its class column;
-- ParValue2 of an input column holds the value of the object to classify.
CREATE TABLE TskAlgParam (
    ParID      INTEGER     NOT NULL PRIMARY KEY,
    TskID      INTEGER     NOT NULL REFERENCES Task (TskID) ON DELETE CASCADE,
    ColID      INTEGER     REFERENCES DtsColumn (ColID),
    ParSysName VARCHAR(50) NOT NULL,
    ParValue2  VARCHAR(255)
);
CREATE INDEX TskAlgParam_TskID ON TskAlgParam (TskID);

CREATE TABLE TskResult (
    ResID        INTEGER      NOT NULL PRIMARY KEY,
    ResSysName   VARCHAR(50),
    ResOrder     INTEGER,
    ResValue1    VARCHAR(255),
    ResValue2    VARCHAR(255),
    ResValue3    VARCHAR(255),
    ColID        INTEGER,
    ResTableName VARCHAR(100),
    TskID        INTEGER      NOT NULL REFERENCES Task (TskID) ON DELETE CASCADE
);
CREATE INDEX TskResult_TskID ON TskResult (TskID);

-- LogType 1 with "Анализ завершен" tells the host that a run finished.
CREATE TABLE TskLog (
    LogID      INTEGER       NOT NULL PRIMARY KEY,
    LogType    INTEGER,
    LogMessage VARCHAR(1000),
    TskID      INTEGER       NOT NULL REFERENCES Task (TskID) ON DELETE CASCADE
);
CREATE INDEX TskLog_TskID ON TskLog (TskID);

-- One key sequence per table, named <table>_PK, for GetNextPK. A sequence never hands out
-- a number twice, whatever the number of concurrent runs; a rolled-back INSERT leaves a
-- gap.
CREATE SEQUENCE DtsSource_PK OWNED BY DtsSource.SrcID;
CREATE SEQUENCE Dataset_PK OWNED BY Dataset.DtsID;
CREATE SEQUENCE DtsColumn_PK OWNED BY DtsColumn.ColID;
CREATE SEQUENCE Task_PK OWNED BY Task.TskID;
CREATE SEQUENCE TskAlgParam_PK OWNED BY TskAlgParam.ParID;
CREATE SEQUENCE TskResult_PK OWNED BY TskResult.ResID;
CREATE SEQUENCE TskLog_PK OWNED BY TskLog.LogID;

-- The next primary key of a table, for use inside the INSERT that stores the row:
--     INSERT INTO TskLog (LogID, ...) VALUES( GetNextPK('TskLog'), ...);
-- The key is the sequence's next number, or one more than the table's largest key when
-- rows stored with keys of their own reach that far: keys of deleted rows are not handed
-- out again, and such rows are stepped over in one step, however far above the others
-- they are. setval is no compare-and-set, and one that moved the sequence back below a
-- concurrent caller's number would hand that number out twice, so every caller takes the
-- sequence's advisory lock around nextval, the read and setval. The lock is the
-- session's, released before the function returns: the caller's transaction holds
-- nothing here until it ends. A key past INTEGER's range is refused here, with the
-- table's name, instead of failing inside the caller's INSERT.
CREATE FUNCTION GetNextPK(tableName VARCHAR) RETURNS INTEGER
LANGUAGE plpgsql VOLATILE
AS $$
DECLARE
    keySequence regclass := to_regclass(lower(tableName) || '_pk');
    keyTable regclass := to_regclass(lower(tableName));
    keyColumn name;
    largest BIGINT;
    key BIGINT;
BEGIN
    IF keySequence IS NULL OR keyTable IS NULL THEN
        RAISE EXCEPTION 'GetNextPK: no key sequence for table %', tableName;
    END IF;
    SELECT a.attname INTO keyColumn
      FROM pg_index i
      JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0]
     WHERE i.indrelid = keyTable AND i.indisprimary AND i.indnatts = 1;
    IF keyColumn IS NULL THEN
        RAISE EXCEPTION 'GetNextPK: table % has no single-column primary key', tableName;
    END IF;
    PERFORM pg_advisory_lock(keySequence::oid::bigint);
    BEGIN
        key := nextval(keySequence);
        EXECUTE format('SELECT max(%I) FROM %s', keyColumn, keyTable) INTO largest;
        IF largest >= key THEN
            key := largest + 1;
            IF key <= 2147483647 THEN
                PERFORM setval(keySequence, key);
            END IF;
        END IF;
    EXCEPTION WHEN OTHERS OR QUERY_CANCELED THEN
        PERFORM pg_advisory_unlock(keySequence::oid::bigint);
        RAISE;
    END;
    PERFORM pg_advisory_unlock(keySequence::oid::bigint);
    IF key > 2147483647 THEN
        RAISE EXCEPTION 'GetNextPK: no key left for table %: the next one would pass 2147483647, the largest an INTEGER key can hold', tableName;
    END IF;
    RETURN key;
END
$$;
