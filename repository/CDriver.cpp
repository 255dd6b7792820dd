#include "repository/CDriver.h"

#include "repository/odbc/OdbcStatement.h"

CString CDriver::getConnectionString(const CString& dataSource, const CString& user, const CString& password)
{
    return CString("Provider=MSDASQL.1;Password=" + password.getValue() + ";Persist Security Info=True;User ID="
                   + user.getValue() + ";Data Source=" + dataSource.getValue() + ";");
}

ConnectionPtr CDriver::connect(const CString& dataSource, const CString& user, const CString& password)
{
    auto connection = std::make_shared<OdbcConnection>();
    connection->openDataSource(dataSource.getValue(), user.getValue(), password.getValue());
    return connection;
}

CDriver::CDriver(ConnectionPtr connection) : connection(std::move(connection))
{
    this->connection->open();
}

CResultSetPtr CDriver::executeQuery(const CString& sql)
{
    auto statement = std::make_unique<OdbcStatement>(*connection);
    statement->execute(sql.getValue());
    return std::make_shared<CResultSet>(std::move(statement), true);
}

int CDriver::executeCommand(const CString& sql)
{
    connection->execute(sql.getValue());
    return 0;
}

long CDriver::executeUpdate(const CString& sql)
{
    return connection->executeCounted(sql.getValue());
}

void CDriver::beginTrans()
{
    connection->beginTransaction();
}

void CDriver::commitTrans()
{
    connection->commit();
}
