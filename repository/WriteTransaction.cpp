#include "repository/WriteTransaction.h"

WriteTransaction::WriteTransaction(OdbcConnection& connection) : connection(connection)
{
    connection.beginTransaction();
}

WriteTransaction::~WriteTransaction()
{
    if (!open || !connection.isOpen() || !connection.inTransaction())
        return;
    try {
        connection.rollback();
    } catch (...) {
    }
}

// A commit that fails leaves the transaction to the destructor's rollback.
void WriteTransaction::commit()
{
    connection.commit();
    open = false;
}
