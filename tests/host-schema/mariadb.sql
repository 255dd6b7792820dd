-- A repository with the columns the program may rely on and nothing more (see
-- sqlite.sql beside this file), and a GetNextPK of its own over a counter table.

CREATE TABLE DtsSource (
    SrcID       INTEGER      NOT NULL PRIMARY KEY,
    SrcSysName  VARCHAR(100),
    SrcUser     VARCHAR(100),
    SrcPassword VARCHAR(100)
) ENGINE=InnoDB;

CREATE TABLE Dataset (
    DtsID  INTEGER       NOT NULL PRIMARY KEY,
    SrcID  INTEGER,
    DtsSql VARCHAR(4000)
) ENGINE=InnoDB;

CREATE TABLE DtsColumn (
    ColID      INTEGER      NOT NULL PRIMARY KEY,
    ColSysName VARCHAR(100),
    ColType    INTEGER
) ENGINE=InnoDB;

CREATE TABLE Task (
    TskID INTEGER NOT NULL PRIMARY KEY,
    DtsID INTEGER
) ENGINE=InnoDB;

CREATE TABLE TskAlgParam (
    TskID      INTEGER,
    ColID      INTEGER,
    ParSysName VARCHAR(50),
    ParValue2  VARCHAR(255)
) ENGINE=InnoDB;

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
) ENGINE=InnoDB;

CREATE TABLE TskLog (
    LogID      INTEGER       NOT NULL PRIMARY KEY,
    LogType    INTEGER,
    LogMessage VARCHAR(1000),
    TskID      INTEGER
) ENGINE=InnoDB;

CREATE TABLE HostKeys (
    TableName VARCHAR(64) NOT NULL PRIMARY KEY,
    NextID    INTEGER     NOT NULL
) ENGINE=InnoDB;

DELIMITER //
CREATE FUNCTION GetNextPK(t VARCHAR(64)) RETURNS INTEGER
MODIFIES SQL DATA
BEGIN
    INSERT INTO HostKeys (TableName, NextID) VALUES (t, LAST_INSERT_ID(1))
        ON DUPLICATE KEY UPDATE NextID = LAST_INSERT_ID(NextID + 1);
    RETURN LAST_INSERT_ID();
END//
DELIMITER ;
