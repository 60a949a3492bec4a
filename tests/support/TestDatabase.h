#pragma once
// Real Firebird databases for tests: created from the project's schema with
// isql-fb on the embedded engine, in a temporary directory of the test's own.

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/DatabaseConnection.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/ScratchDirectory.h"

namespace kestrix::test {

inline std::string SchemaFile() {
    return std::string(KESTRIX_SOURCE_DIR) + "/db/schema.sql";
}

// Runs an isql-fb script; throws with its output when it fails.
inline std::string RunIsql(const std::string& script, const std::vector<std::string>& arguments = {}) {
    QProcess isql;
    QStringList args{"-q", "-b", "-m"};
    for (const auto& a : arguments) args << QString::fromStdString(a);
    isql.start("isql-fb", args);
    if (!isql.waitForStarted()) throw std::runtime_error("isql-fb does not start");
    isql.write(QByteArray::fromStdString(script));
    isql.closeWriteChannel();
    isql.waitForFinished(60000);
    const std::string output = isql.readAll().toStdString();
    if (isql.exitCode() != 0) throw std::runtime_error("isql-fb failed: " + output);
    return output;
}

// Creates dir/CBASE.FDB with the schema, then runs extraSql in it.
inline void CreateDatabase(const std::string& dir, const std::string& extraSql = "") {
    std::filesystem::create_directories(dir);
    std::ifstream schema(SchemaFile());
    const std::string schemaText((std::istreambuf_iterator<char>(schema)), std::istreambuf_iterator<char>());
    RunIsql("CREATE DATABASE '" + dir + "/CBASE.FDB' USER 'SYSDBA' PASSWORD 'fbdefault' DEFAULT CHARACTER SET WIN1251;\n" +
            schemaText + "\n" + extraSql + "\nCOMMIT;\n");
}

// Rows of a query through an attachment of this process (the embedded engine
// lets only one process open a file), columns joined by "|", NULL as "".
inline std::vector<std::string> QueryRows(const std::string& database, const std::string& select,
                                          const std::vector<std::string>& columns,
                                          const std::string& password = "fbdefault") {
    auto connection = DatabaseConnection::Connect(kClientLibrary, database, "SYSDBA", password);
    auto query = connection->prepare(select);
    query->open();
    std::vector<std::string> rows;
    while (query->next()) {
        std::string row;
        for (std::size_t i = 0; i < columns.size(); ++i) row += (i ? "|" : "") + query->column(columns[i]);
        rows.push_back(row);
    }
    return rows;
}

// Rows of a query as isql-fb prints them, columns separated by "|" (NULL as
// "<null>"). Only while no attachment of this process holds the file.
inline std::vector<std::string> IsqlRows(const std::string& database, const std::string& select) {
    const std::string output = RunIsql("SET HEADING OFF;\nSET LIST OFF;\n" + select + ";\n",
                                       {database, "-user", "SYSDBA", "-password", "fbdefault"});
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        // Columns are padded with blanks; fold runs of blanks into one "|".
        std::string row;
        bool blank = false;
        for (char c : line) {
            if (c == ' ' || c == '\r') {
                blank = true;
                continue;
            }
            if (blank && !row.empty()) row += '|';
            blank = false;
            row += c;
        }
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// The one settings writer of the tests: the bytes as given (CR LF and
// Windows-1251 are the caller's). Throws when the file cannot be written.
inline void WriteSettings(const std::string& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + file);
}

// A temporary directory that plays the program's directory (ends with "/").
struct AppDirectory {
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString() + "/"; }
    std::string settingsPath() const { return path() + "settings.ini"; }
    void writeSettings(const std::string& text) const { WriteSettings(settingsPath(), text); }
    std::string readSettings() const { return FileText(settingsPath()); }
};

}  // namespace kestrix::test
