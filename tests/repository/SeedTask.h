#pragma once
// The task the repository tests share, and the rows of its source table.

#include <string>

#include "tests/support/TestDatabases.h"

namespace testsupport {

// Task 17 works on dataset 5, which selects from the table Clients of source 1 (the
// DSN DODOZ_SOURCE, no user, no password): inputs Age (coded) and Debt (real), class
// Risk (coded). Further columns are described but not used.
inline void seedTask(const TestDatabases& db, const std::string& dtsSql = "SELECT * FROM Clients")
{
    db.repository({
        "INSERT INTO DtsSource (SrcID, SrcName, SrcSysName, SrcUser, SrcPassword)"
        " VALUES (1, 'Клиенты', 'DODOZ_SOURCE', NULL, NULL)",
        "INSERT INTO Dataset (DtsID, DtsName, SrcID, DtsSql) VALUES (5, 'Клиенты банка', 1, '" + dtsSql + "')",
        "INSERT INTO DtsColumn (ColID, DtsID, ColSysName, ColType) VALUES (11, 5, 'Age', 3), (12, 5, 'Debt', 1),"
        " (13, 5, 'Risk', 2), (14, 5, 'BirthDate', 5), (15, 5, 'Name', 10), (16, 5, 'Children', 4),"
        " (17, 5, 'Income', 8)",
        "INSERT INTO Task (TskID, TskName, DtsID) VALUES (17, 'Классификация', 5)",
        "INSERT INTO TskAlgParam (ParID, TskID, ColID, ParSysName, ParValue2) VALUES (1, 17, 11, 'in_col', '35'),"
        " (2, 17, 12, 'in_col', '0,5'), (3, 17, 13, 'out_col', NULL)",
    });
}

inline void seedClients(const TestDatabases& db)
{
    db.source({
        "INSERT INTO Clients (ClientID, Name, Age, Debt, Risk, BirthDate, Children)"
        " VALUES (1, 'Анна', 30, 1.5, 1, '1973-01-02', 0)",
        "INSERT INTO Clients (ClientID, Name, Age, Debt, Risk, BirthDate, Children)"
        " VALUES (2, 'Борис', 45, NULL, 2, '1958-03-04', 2)",
        "INSERT INTO Clients (ClientID, Name, Age, Debt, Risk, BirthDate, Children)"
        " VALUES (3, 'Вера', NULL, 0.25, 1, NULL, 1)",
    });
}

}  // namespace testsupport
