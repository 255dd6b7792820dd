-- A repository with the columns the program may rely on and nothing more (see
-- sqlite.sql beside this file), and a GetNextPK of its own: one sequence per table that
-- gets keys, nothing else.

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

CREATE SEQUENCE host_key_dtssource;
CREATE SEQUENCE host_key_dataset;
CREATE SEQUENCE host_key_dtscolumn;
CREATE SEQUENCE host_key_task;
CREATE SEQUENCE host_key_tskresult;
CREATE SEQUENCE host_key_tsklog;

CREATE FUNCTION GetNextPK(tableName VARCHAR) RETURNS INTEGER
LANGUAGE sql VOLATILE
AS $$ SELECT nextval(('host_key_' || lower(tableName))::regclass)::INTEGER $$;
