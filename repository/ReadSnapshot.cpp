#include "repository/ReadSnapshot.h"

#include "core/Utils.h"

namespace {

bool misreportsIsolation(OdbcConnection& connection)
{
    const std::string name = connection.dbmsName();
    return name == "MariaDB" || name == "MySQL";
}

}  // namespace

ReadSnapshot::ReadSnapshot(OdbcConnection& connection, const char* place) : connection(connection)
{
    wanted = connection.snapshotIsolation();
    if (wanted == 0)
        throw SystemException(place, "Репозиторий не поддерживает согласованное чтение (REPEATABLE READ или SERIALIZABLE)");
    saved = connection.isolation();
    if (saved != wanted)
        connection.setIsolation(wanted);
    try {
        connection.beginTransaction();
        // InnoDB takes the snapshot at the transaction's first read, which comes after this.
        if (misreportsIsolation(connection))
            connection.execute("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ");
    } catch (const Exception&) {
        abandon();
        throw;
    }
}

// The failure to start is the error to report, not one of undoing it.
void ReadSnapshot::abandon() noexcept
{
    try {
        if (connection.inTransaction())
            connection.rollback();
        restoreLevel();
    } catch (const Exception&) {
    }
}

ReadSnapshot::~ReadSnapshot()
{
    if (open)
        abandon();
}

void ReadSnapshot::end()
{
    open = false;
    connection.rollback();
    restoreLevel();
}

void ReadSnapshot::restoreLevel()
{
    if (saved != wanted)
        connection.setIsolation(saved);
}
