-- The repository database (MariaDB): the host's analysis tasks, the datasets they work
-- on, the source databases those come from, the tasks' algorithm parameters, and what
-- the runs write back. Create it in an empty utf8mb4 database with
--     mariadb --database=<database> < db/mariadb/repository.sql
-- and reach it through a DSN of the MariaDB Connector/ODBC (libmaodbc.so) with
-- CHARSET=utf8mb4 and READ COMMITTED sessions (scripts/make-dsn writes one): under
-- REPEATABLE READ concurrent runs deadlock on the index gaps their reads lock.
--
-- Table names are case-sensitive on Linux: they are created exactly as the program's
-- SQL writes them. Every table is InnoDB, so the result rows and the closing log row
-- commit together and a task's row lock serialises two runs of one task. Texts are
-- VARCHAR so that the driver reports them as strings.
--
-- Apart from keys, the columns the program reads may be NULL, as the host's own
-- repository allows: the program reports a missing value itself.

CREATE TABLE DtsSource (
    SrcID       INTEGER      NOT NULL PRIMARY KEY,
    SrcName     VARCHAR(100),
    SrcSysName  VARCHAR(100),            -- the ODBC data source name
    SrcUser     VARCHAR(100),
    SrcPassword VARCHAR(100)
) ENGINE=InnoDB;

CREATE TABLE Dataset (
    DtsID   INTEGER       NOT NULL PRIMARY KEY,
    DtsName VARCHAR(100),
    SrcID   INTEGER       REFERENCES DtsSource (SrcID),
    DtsSql  VARCHAR(4000)                -- its part from "FROM" on selects the sample
) ENGINE=InnoDB;

-- ColType, the logical type: 1 real; 2, 3, 4 coded (integers); 5, 6, 7 dates; 10 text.
CREATE TABLE DtsColumn (
    ColID      INTEGER      NOT NULL PRIMARY KEY,
    DtsID      INTEGER      REFERENCES Dataset (DtsID),
    ColSysName VARCHAR(100),             -- the column's name in the source database
    ColType    INTEGER
) ENGINE=InnoDB;

CREATE TABLE Task (
    TskID   INTEGER      NOT NULL PRIMARY KEY,
    TskName VARCHAR(100),
    DtsID   INTEGER      REFERENCES Dataset (DtsID)
) ENGINE=InnoDB;

-- ParSysName "in_col" marks an input column of the task, "out_col" its class column;
-- ParValue2 of an input column holds the value of the object to classify.
CREATE TABLE TskAlgParam (
    ParID      INTEGER     NOT NULL PRIMARY KEY,
    TskID      INTEGER     NOT NULL REFERENCES Task (TskID) ON DELETE CASCADE,
    ColID      INTEGER     REFERENCES DtsColumn (ColID),
    ParSysName VARCHAR(50) NOT NULL,
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
    TskID        INTEGER      NOT NULL REFERENCES Task (TskID) ON DELETE CASCADE
) ENGINE=InnoDB;

-- LogType 1 with "Анализ завершен" tells the host that a run finished.
CREATE TABLE TskLog (
    LogID      INTEGER       NOT NULL PRIMARY KEY,
    LogType    INTEGER,
    LogMessage VARCHAR(1000),
    TskID      INTEGER       NOT NULL REFERENCES Task (TskID) ON DELETE CASCADE
) ENGINE=InnoDB;

-- The last key GetNextPK handed out for each table. Its row is written in the caller's
-- transaction: concurrent callers wait for each other's commit on it and never receive
-- the same key, and a rollback takes the key back. The key is BIGINT so that the range
-- check below can see a key the tables' INTEGER columns could not hold. Every table's row
-- is there from the start: concurrent first calls would otherwise insert the same row.
CREATE TABLE PKCounter (
    TableName VARCHAR(64) NOT NULL PRIMARY KEY,
    LastKey   BIGINT      NOT NULL
) ENGINE=InnoDB;
INSERT INTO PKCounter (TableName, LastKey) VALUES ('DtsSource', 0), ('Dataset', 0), ('DtsColumn', 0),
    ('Task', 0), ('TskAlgParam', 0), ('TskResult', 0), ('TskLog', 0);

-- The largest key a repository table holds, or NULL for a table GetNextPK does not
-- serve. A stored function cannot run dynamic SQL, hence one query per table.
DELIMITER //
CREATE FUNCTION LargestPK(forTable VARCHAR(64)) RETURNS INTEGER
READS SQL DATA
BEGIN
    RETURN CASE forTable
        WHEN 'DtsSource'   THEN (SELECT COALESCE(MAX(SrcID), 0) FROM DtsSource)
        WHEN 'Dataset'     THEN (SELECT COALESCE(MAX(DtsID), 0) FROM Dataset)
        WHEN 'DtsColumn'   THEN (SELECT COALESCE(MAX(ColID), 0) FROM DtsColumn)
        WHEN 'Task'        THEN (SELECT COALESCE(MAX(TskID), 0) FROM Task)
        WHEN 'TskAlgParam' THEN (SELECT COALESCE(MAX(ParID), 0) FROM TskAlgParam)
        WHEN 'TskResult'   THEN (SELECT COALESCE(MAX(ResID), 0) FROM TskResult)
        WHEN 'TskLog'      THEN (SELECT COALESCE(MAX(LogID), 0) FROM TskLog)
        ELSE NULL
    END;
END//

-- The next primary key of a table, for use inside the INSERT that stores the row:
--     INSERT INTO TskLog (LogID, ...) VALUES( GetNextPK('TskLog'), ...);
-- The key is one more than the larger of the last key handed out and the table's largest
-- key, so keys of deleted rows are not handed out again and rows stored with keys of
-- their own are stepped over in one step, however far above the others they are. One
-- UPDATE both decides and records the key under the counter row's lock. The largest key
-- is read before that lock is taken: inside an INSERT the read is a locking one and waits
-- for a concurrent run that deleted the table's last row, and that run, waiting in turn
-- for a counter row held by the reader, would make a deadlock; the holder of the counter
-- row holds the table's last row itself. A key past INTEGER's range is refused before
-- the counter moves, instead of failing later inside the caller's INSERT.
CREATE FUNCTION GetNextPK(forTable VARCHAR(64)) RETURNS INTEGER
MODIFIES SQL DATA
BEGIN
    DECLARE refusal VARCHAR(255);
    DECLARE largest INTEGER;
    DECLARE moved INTEGER;
    IF forTable NOT IN ('DtsSource', 'Dataset', 'DtsColumn', 'Task', 'TskAlgParam', 'TskResult', 'TskLog') THEN
        SET refusal = CONCAT('GetNextPK: no key counter for the table ', forTable);
        SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = refusal;
    END IF;
    SET largest = LargestPK(forTable);
    UPDATE PKCounter SET LastKey = LAST_INSERT_ID(GREATEST(LastKey, largest) + 1)
     WHERE TableName = forTable AND GREATEST(LastKey, largest) < 2147483647;
    SET moved = ROW_COUNT();
    IF moved = 0 AND NOT EXISTS (SELECT 1 FROM PKCounter WHERE TableName = forTable) THEN
        SET refusal = CONCAT('GetNextPK: PKCounter has no row for the table ', forTable);
        SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = refusal;
    END IF;
    IF moved = 0 THEN
        SET refusal = CONCAT('GetNextPK: no key left for the table ', forTable,
                             ': the next one would pass 2147483647, the largest an INTEGER key can hold');
        SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = refusal;
    END IF;
    RETURN LAST_INSERT_ID();
END//
DELIMITER ;
