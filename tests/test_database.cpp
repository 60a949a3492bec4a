#include "db/DatabaseConnection.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CreateDatabase(path(),
                       "CREATE TABLE kinds (t VARCHAR(20), c CHAR(6), i INTEGER, b BIGINT, ts TIMESTAMP, "
                       "n NUMERIC(9,2), d DATE);\n");
        connection = DatabaseConnection::Connect(kClientLibrary, database(), "SYSDBA", "fbdefault");
    }
    std::string path() const { return dir.path().toStdString(); }
    std::string database() const { return path() + "/CBASE.FDB"; }

    QTemporaryDir dir;
    std::unique_ptr<DatabaseConnection> connection;
};
}  // namespace

TEST_F(DatabaseTest, TheFourParameterKindsGoInAndComeBackAsText) {
    auto insert = connection->prepare("INSERT INTO kinds (t, c, i, b, ts, n, d) VALUES (:t, :c, :i, :b, :ts, :n, :ts)");
    insert->set("t", std::string("Привет"));
    insert->set("c", std::string("ab"));
    insert->set("i", std::int32_t{-7});
    insert->set("B", std::int64_t{9000000000});
    insert->set("ts", CivilDateTime{2024, 5, 30, 15, 45, 30});
    insert->set("n", std::string("12.5"));
    insert->execute();
    connection->commit();

    auto select = connection->prepare("SELECT * FROM kinds");
    select->open();
    ASSERT_TRUE(select->next());
    EXPECT_EQ(select->column("t"), "Привет");
    EXPECT_EQ(select->column("C"), "ab");  // CHAR without its trailing blanks
    EXPECT_EQ(select->column("i"), "-7");
    EXPECT_EQ(select->column("b"), "9000000000");
    EXPECT_EQ(select->column("ts"), "2024-05-30 15:45:30");
    EXPECT_EQ(select->column("n"), "12.50");
    EXPECT_EQ(select->column("d"), "2024-05-30");
    EXPECT_FALSE(select->next());
    select->close();
    // The same row as isql sees it, once this process has let the file go.
    select.reset();
    insert.reset();
    connection.reset();
    EXPECT_EQ(IsqlRows(database(), "SELECT i, b, ts FROM kinds"),
              std::vector<std::string>{"-7|9000000000|2024-05-30|15:45:30.0000"});
}

TEST_F(DatabaseTest, NullReadsAsEmptyText) {
    auto insert = connection->prepare("INSERT INTO kinds (t) VALUES (:t)");
    insert->set("t", std::string("only"));
    insert->execute();
    auto select = connection->prepare("SELECT t, i, ts FROM kinds");
    select->open();
    ASSERT_TRUE(select->next());
    EXPECT_EQ(select->column("i"), "");
    EXPECT_EQ(select->column("ts"), "");
    EXPECT_THROW(select->column("nope"), DatabaseError);
}

TEST_F(DatabaseTest, AnUnknownParameterNameIsAnError) {
    auto insert = connection->prepare("INSERT INTO kinds (i) VALUES (:i)");
    EXPECT_THROW(insert->set("j", std::int32_t{1}), DatabaseError);
    // A parameter left without a value is refused too.
    EXPECT_THROW(insert->execute(), DatabaseError);
}

TEST_F(DatabaseTest, OnePreparedStatementRunsManyTimesWithGrowingText) {
    auto insert = connection->prepare("INSERT INTO kinds (t, i) VALUES (:t, :i)");
    for (int i = 0; i < 20; ++i) {
        insert->set("t", std::string(static_cast<std::size_t>(i), 'x'));
        insert->set("i", std::int32_t{i});
        insert->execute();
    }
    connection->commit();
    auto select = connection->prepare("SELECT t FROM kinds WHERE i = :i");
    for (int i : {0, 7, 19}) {
        select->set("i", std::int32_t{i});
        select->open();
        ASSERT_TRUE(select->next());
        EXPECT_EQ(select->column("t"), std::string(static_cast<std::size_t>(i), 'x'));
        select->close();
    }
}

TEST_F(DatabaseTest, TheTransactionStartsOnDemandAndACommitEndsIt) {
    EXPECT_FALSE(connection->transactionActive());
    auto insert = connection->prepare("INSERT INTO kinds (i) VALUES (:i)");  // preparing starts one
    EXPECT_TRUE(connection->transactionActive());
    connection->commit();
    EXPECT_FALSE(connection->transactionActive());
    insert->set("i", std::int32_t{1});
    insert->execute();
    EXPECT_TRUE(connection->transactionActive());
    const auto count = [&] { return QueryRows(database(), "SELECT count(*) AS n FROM kinds", {"n"}); };
    EXPECT_EQ(count(), std::vector<std::string>{"0"});  // not committed yet
    connection->commit();
    EXPECT_FALSE(connection->transactionActive());
    EXPECT_EQ(count(), std::vector<std::string>{"1"});
    insert->execute();  // the prepared statement outlives the transaction
    connection->commit();
    EXPECT_EQ(count(), std::vector<std::string>{"2"});
}

TEST_F(DatabaseTest, ErrorsCarryTheLibrarysText) {
    try {
        connection->prepare("SELECT id FROM no_such_table");
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Table unknown"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("NO_SUCH_TABLE"), std::string::npos) << e.what();
    }
}

TEST(DatabaseConnect, FailuresSayWhy) {
    try {
        DatabaseConnection::Connect(kClientLibrary, "/nonexistent/dir/CBASE.FDB", "SYSDBA", "x");
        FAIL() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("I/O error during \"open\" operation"), std::string::npos) << e.what();
    }
    EXPECT_THROW(DatabaseConnection::Connect("/nonexistent/libfbclient.so", "/tmp/x.fdb", "SYSDBA", "x"),
                 DatabaseError);
    EXPECT_THROW(DatabaseConnection::Connect("libm.so.6", "/tmp/x.fdb", "SYSDBA", "x"), DatabaseError);
}
