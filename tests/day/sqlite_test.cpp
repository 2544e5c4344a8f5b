#include "day/sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

using day::sql::Connection;
using day::sql::Error;
using day::sql::Statement;
using day::sql::Transaction;

Connection Memory() {
    Connection db(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Execute("CREATE TABLE t(x INTEGER NOT NULL CHECK (x < 10))");
    return db;
}

TEST(Sqlite, TransactionKeepsOnlyWhatIsCommitted) {
    Connection db = Memory();
    {
        Transaction transaction(db, Transaction::Kind::Immediate);
        db.Execute("INSERT INTO t VALUES (1)");
        EXPECT_TRUE(db.InTransaction());
    }  // no commit: rolled back
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM t"), 0);
    try {
        Transaction transaction(db, Transaction::Kind::Deferred);
        db.Execute("INSERT INTO t VALUES (2)");
        db.Execute("INSERT INTO t VALUES (20)");  // fails the check
        transaction.Commit();
    } catch (const Error&) {
    }
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(db.QueryInt("SELECT count(*) FROM t"), 0);  // the whole transaction is gone
    {
        Transaction transaction(db, Transaction::Kind::Immediate);
        db.Execute("INSERT INTO t VALUES (3)");
        transaction.Commit();
    }
    EXPECT_EQ(db.QueryInt("SELECT sum(x) FROM t"), 3);
}

TEST(Sqlite, ErrorsCarryTheExtendedCodeAndStatementsStayUsable) {
    Connection db = Memory();
    Statement insert(db, "INSERT INTO t VALUES (?)");
    insert.Bind(1, int64_t{50});
    try {
        insert.Step();
        FAIL() << "the check constraint let 50 in";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), SQLITE_CONSTRAINT_CHECK);
        EXPECT_EQ(e.primary(), SQLITE_CONSTRAINT);
    }
    insert.Bind(1, int64_t{5});
    EXPECT_FALSE(insert.Step());
    insert.Reset();
    insert.Bind(1, std::string_view("7"));  // text with integer affinity
    EXPECT_FALSE(insert.Step());
    Statement rows(db, "SELECT x FROM t ORDER BY x");
    ASSERT_TRUE(rows.Step());
    EXPECT_TRUE(rows.IsInteger(0));
    EXPECT_EQ(rows.Int(0), 5);
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Int(0), 7);
    EXPECT_FALSE(rows.Step());
    EXPECT_THROW(Statement(db, "SELECT nonsense FROM"), Error);
}

}  // namespace
