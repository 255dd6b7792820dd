-- The repository database (SQLite): the host's analysis tasks, the datasets they work
-- on, the source databases those come from, the tasks' algorithm parameters, and what
-- the runs write back. Create it with
--     sqlite3 repository.db < db/sqlite/repository.sql
-- and reach it through a DSN with Driver=SQLite3, Database=<path>, NoCreat=1 and
-- LoadExt=<build>/db/getnextpk.so (GetNextPK).
--
-- Texts are VARCHAR so that the driver reports them as strings; the program keeps them
-- in UTF-8 here.
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

-- The last key GetNextPK handed out for each table.
CREATE TABLE PKCounter (
    TableName VARCHAR(100) NOT NULL PRIMARY KEY COLLATE NOCASE,
    LastKey   INTEGER      NOT NULL
);
