/*
 * GetNextPK(table): the next primary key of a repository table, for use inside the
 * INSERT that stores the row:
 *     INSERT INTO TskLog (LogID, ...) VALUES( GetNextPK('TskLog'), ...);
 *
 * Keys come from the counter table PKCounter (created by repository.sql). The next key
 * is one more than the larger of the table's last handed-out key and the table's
 * largest key, so keys of deleted rows are never handed out again and rows inserted
 * with keys of their own are stepped over. The INSERT already holds SQLite's single
 * writer lock when its VALUES are evaluated, and the counter update belongs to the
 * same transaction, so concurrent writers cannot receive the same key and a rollback
 * takes the key back. The host's keys are 32-bit INTEGERs although SQLite's are not, so a
 * key past 2147483647 is refused rather than handed out.
 *
 * Loaded by the SQLite ODBC driver through the DSN option LoadExt=/path/getnextpk.so;
 * SQLite derives the entry point sqlite3_getnextpk_init from that file name.
 */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <stddef.h>

static void fail(sqlite3_context* context, const char* format, const char* table, const char* detail)
{
    char* message = sqlite3_mprintf(format, table, detail);
    sqlite3_result_error(context, message ? message : "GetNextPK: out of memory", -1);
    sqlite3_free(message);
}

/* The name of the table's single-column primary key, or NULL (with the error set). */
static char* keyColumn(sqlite3_context* context, sqlite3* db, const char* table)
{
    static const char* sql =
        "SELECT name, (SELECT count(*) FROM pragma_table_info(?1) WHERE pk > 0)"
        " FROM pragma_table_info(?1) WHERE pk = 1";
    sqlite3_stmt* statement = NULL;
    char* column = NULL;
    int rc = sqlite3_prepare_v2(db, sql, -1, &statement, NULL);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(statement, 1, table, -1, SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW && sqlite3_column_int(statement, 1) == 1) {
            column = sqlite3_mprintf("%s", (const char*)sqlite3_column_text(statement, 0));
            if (!column)
                sqlite3_result_error_nomem(context);
        } else if (rc == SQLITE_ROW) {
            fail(context, "GetNextPK: the primary key of table %s has several columns%s", table, "");
        } else if (rc == SQLITE_DONE) {
            fail(context, "GetNextPK: no table %s with a primary key%s", table, "");
        } else {
            fail(context, "GetNextPK(%s): %s", table, sqlite3_errmsg(db));
        }
    } else {
        fail(context, "GetNextPK(%s): %s", table, sqlite3_errmsg(db));
    }
    sqlite3_finalize(statement);
    return column;
}

/* Runs a statement (?1 is the table name) that yields at most one integer, NULL
 * reading as 0; 0 on failure. */
static int queryInteger(sqlite3_context* context, sqlite3* db, const char* sql, const char* table,
                        sqlite3_int64* result)
{
    sqlite3_stmt* statement = NULL;
    int rc = sqlite3_prepare_v2(db, sql, -1, &statement, NULL);
    if (rc == SQLITE_OK && sqlite3_bind_parameter_count(statement) > 0)
        rc = sqlite3_bind_text(statement, 1, table, -1, SQLITE_TRANSIENT);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(statement);
    *result = 0;
    if (rc == SQLITE_ROW)
        *result = sqlite3_column_int64(statement, 0);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        fail(context, "GetNextPK(%s): %s", table, sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        return 0;
    }
    sqlite3_finalize(statement);
    return 1;
}

static void getNextPk(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    sqlite3* db = sqlite3_context_db_handle(context);
    const char* table = (const char*)sqlite3_value_text(argv[0]);
    char* column;
    char* sql;
    sqlite3_int64 largest, last, next;
    int ok;
    (void)argc;

    if (!table || !*table) {
        sqlite3_result_error(context, "GetNextPK: no table name given", -1);
        return;
    }
    column = keyColumn(context, db, table);
    if (!column)
        return;

    sql = sqlite3_mprintf("SELECT max(\"%w\") FROM \"%w\"", column, table);
    sqlite3_free(column);
    if (!sql) {
        sqlite3_result_error_nomem(context);
        return;
    }
    ok = queryInteger(context, db, sql, table, &largest);
    sqlite3_free(sql);
    if (!ok)
        return;
    if (!queryInteger(context, db, "SELECT LastKey FROM PKCounter WHERE TableName = ?1", table, &last))
        return;

    next = largest > last ? largest : last;
    if (next >= 2147483647) {
        fail(context, "GetNextPK: no key left for table %s: the next one would pass 2147483647, the largest an"
                      " INTEGER key can hold%s", table, "");
        return;
    }
    ++next;
    sql = sqlite3_mprintf(
        "INSERT INTO PKCounter (TableName, LastKey) VALUES (?1, %lld)"
        " ON CONFLICT (TableName) DO UPDATE SET LastKey = excluded.LastKey",
        next);
    if (!sql) {
        sqlite3_result_error_nomem(context);
        return;
    }
    ok = queryInteger(context, db, sql, table, &last);
    sqlite3_free(sql);
    if (ok)
        sqlite3_result_int64(context, next);
}

#ifdef _WIN32
__declspec(dllexport)
#endif
int sqlite3_getnextpk_init(sqlite3* db, char** errorMessage, const sqlite3_api_routines* api)
{
    (void)errorMessage;
    SQLITE_EXTENSION_INIT2(api);
    return sqlite3_create_function_v2(db, "GetNextPK", 1, SQLITE_UTF8, NULL, getNextPk, NULL, NULL, NULL);
}
