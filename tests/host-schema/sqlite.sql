-- A repository with the columns the program may rely on and nothing more: the reads of
-- Task, Dataset, DtsSource, TskAlgParam and DtsColumn, the rows it writes into TskResult
-- and TskLog, and a GetNextPK (the getnextpk extension over PKCounter). No table says
-- more than that: no names, no dataset of a column, no key of a parameter row, no
-- foreign keys. The end-to-end and hostile suites also run on it (DODOZ_TEST_SCHEMA=host),
-- so that nothing the program does needs what a host's own repository may not have.

CREATE TABLE DtsSource (
    SrcID       INTEGER      NOT NULL PRIMARY KEY,
    SrcSysName  VARCHAR(100),
    SrcUser     VARCHAR(100),
    SrcPassword VARCHAR(100)
);

CREATE TABLE Dataset (
    DtsID  INTEGER       NOT NULL PRIMARY KEY,
    SrcID  INTEGER,
    DtsSql VARCHAR(4000)
);

CREATE TABLE DtsColumn (
    ColID      INTEGER      NOT NULL PRIMARY KEY,
    ColSysName VARCHAR(100),
    ColType    INTEGER
);

CREATE TABLE Task (
    TskID INTEGER NOT NULL PRIMARY KEY,
    DtsID INTEGER
);

CREATE TABLE TskAlgParam (
    TskID      INTEGER,
    ColID      INTEGER,
    ParSysName VARCHAR(50),
    ParValue2  VARCHAR(255)
);

CREATE TABLE TskResult (
    ResID        INTEGER      NOT NULL PRIMARY KEY,
    ResSysName   VARCHAR(50),
    ResOrder     INTEGER,
    ResValue1    VARCHAR(255),
    ResValue2    VARCHAR(255),
    ResValue3    VARCHAR(255),
    ColID        INTEGER,
    ResTableName VARCHAR(100),
    TskID        INTEGER
);

CREATE TABLE TskLog (
    LogID      INTEGER       NOT NULL PRIMARY KEY,
    LogType    INTEGER,
    LogMessage VARCHAR(1000),
    TskID      INTEGER
);

CREATE TABLE PKCounter (
    TableName VARCHAR(100) NOT NULL PRIMARY KEY COLLATE NOCASE,
    LastKey   INTEGER      NOT NULL
);
