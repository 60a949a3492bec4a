#pragma once
// The one connection to the installation database and its one transaction
// (write, nowait, read committed, record version), started on demand by the
// first statement that runs without one and ended by a full commit; a
// statement may have a waiting transaction of its own beside it (a lock held
// across commits of the other). Statements are prepared once and run many
// times; parameters are bound by name, columns read by name as text.

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "events/DateTime.h"

namespace kestrix {

struct DatabaseError : std::runtime_error {
    explicit DatabaseError(const std::string& text, std::vector<long> codes = {})
        : std::runtime_error(text), codes(std::move(codes)) {}
    // The library's error codes (isc_...), in the order it gave them.
    std::vector<long> codes;
    // Another process has the database file open with an engine that does not
    // share it (a different server mode, or the Firebird server itself).
    bool heldByAnotherEngine() const;
};

// Text, 32-bit integer, 64-bit integer, timestamp (whole seconds).
using ParameterValue = std::variant<std::string, std::int32_t, std::int64_t, CivilDateTime>;

class DatabaseConnection;

class Statement {
public:
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds every marker of that name (case-insensitive); an unknown name is an error.
    void set(const std::string& name, ParameterValue value);
    // Runs a statement without a result set.
    void execute();
    // Runs a query; read the rows with next() and column(), then close().
    void open();
    // Commits the statement's own transaction, if it has one that is active.
    void commitOwn();
    bool next();
    // The column of the current row as text: integers as decimal digits, NULL
    // as empty text, fixed-length text without its trailing blanks.
    std::string column(const std::string& name) const;
    void close();

private:
    friend class DatabaseConnection;
    struct Impl;
    explicit Statement(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

class DatabaseConnection {
public:
    // Loads the client library at libraryPath (once per process) and attaches
    // to database as user with password, character set WIN1251. The database
    // name goes to the library unchanged ("host:/path" reaches a server).
    static std::unique_ptr<DatabaseConnection> Connect(const std::string& libraryPath, const std::string& database,
                                                       const std::string& user, const std::string& password);
    ~DatabaseConnection();
    DatabaseConnection(const DatabaseConnection&) = delete;
    DatabaseConnection& operator=(const DatabaseConnection&) = delete;

    // Prepares in SQL dialect 3; named parameters become positional markers.
    std::unique_ptr<Statement> prepare(const std::string& sql);
    // Full commit of the active transaction, which ends it (no-op without one).
    void commit();
    // Prepares a statement that runs in a transaction of its own beside the
    // connection's one: it waits up to lockTimeout for rows that other
    // transactions hold, and keeps what it locks until Statement::commitOwn().
    std::unique_ptr<Statement> prepareInOwnTransaction(const std::string& sql, std::chrono::seconds lockTimeout);
    bool transactionActive() const;

private:
    friend class Statement;
    struct Impl;
    explicit DatabaseConnection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace kestrix
