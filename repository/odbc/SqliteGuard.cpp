#include "repository/odbc/SqliteGuard.h"

#include <sqlite3.h>

#include <optional>

#include "runtime/Runtime.h"

namespace {

// The names as SQLite resolved them, whatever case or quotes the text used; a name
// cannot be computed at run time, so the check at preparation covers every spelling.
bool reachesOutside(const char* function)
{
    for (const char* name : {"load_extension", "blob_import", "blob_export", "fts3_tokenizer"})
        if (sqlite3_stricmp(function, name) == 0)
            return true;
    return false;
}

int authorize(void*, int action, const char* first, const char* second, const char*, const char*)
{
    // For a function call SQLite passes no first argument and the function's name second.
    if (action == SQLITE_FUNCTION && !first && second && reachesOutside(second))
        return SQLITE_DENY;
    return SQLITE_OK;
}

thread_local std::optional<std::chrono::steady_clock::time_point> threadDeadline;
thread_local std::vector<void*>* openedOnThread = nullptr;

// Called every thousand steps of a statement's program, on the thread that runs it.
int pastDeadline(void*)
{
    return threadDeadline && std::chrono::steady_clock::now() >= *threadDeadline ? 1 : 0;
}

int guardConnection(sqlite3* db, char**, const sqlite3_api_routines*)
{
    sqlite3_set_authorizer(db, authorize, nullptr);
    sqlite3_progress_handler(db, 1000, pastDeadline, nullptr);
    if (openedOnThread)
        openedOnThread->push_back(db);
    return SQLITE_OK;
}

void refuseFileAccess(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_error(context, "the program reads and writes no files through SQL", -1);
}

}  // namespace

void guardSqliteConnections()
{
    // SQLite keeps one entry per function, so a second registration adds nothing.
    const int rc = sqlite3_auto_extension(reinterpret_cast<void (*)()>(guardConnection));
    if (rc != SQLITE_OK)
        throw Exception(std::string("Cannot guard the SQLite connections: ") + sqlite3_errstr(rc));
}

SqliteOpening::SqliteOpening() : outer(openedOnThread)
{
    openedOnThread = &opened;
}

SqliteOpening::~SqliteOpening()
{
    openedOnThread = outer;
}

void SqliteOpening::finish()
{
    // The driver's arities and encoding, so that the replacement is the function found.
    const std::pair<const char*, int> functions[] = {{"blob_import", 1}, {"blob_export", 2}};
    for (void* handle : opened) {
        auto* db = static_cast<sqlite3*>(handle);
        for (const auto& [name, arguments] : functions) {
            const int rc = sqlite3_create_function_v2(db, name, arguments, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
                                                      refuseFileAccess, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK)
                throw Exception(std::string("Cannot take ") + name + " away: " + sqlite3_errmsg(db));
        }
    }
    opened.clear();
}

SqliteDeadline::SqliteDeadline(std::chrono::steady_clock::time_point deadline)
{
    threadDeadline = deadline;
}

SqliteDeadline::~SqliteDeadline()
{
    threadDeadline.reset();
}
