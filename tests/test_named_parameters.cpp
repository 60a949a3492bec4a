#include <gtest/gtest.h>

#include "db/NamedParameters.h"

using namespace kestrix;

TEST(TranslateNamedParameters, TurnsNamesIntoMarkersInOrder) {
    const struct {
        std::string sql, translated;
        std::vector<std::string> names;
    } cases[] = {
        {"SELECT * FROM fb_evn WHERE dvs=:dvs AND uid=:uid AND dt=:dt AND evn=:evn AND evnh=:evnh",
         "SELECT * FROM fb_evn WHERE dvs=? AND uid=? AND dt=? AND evn=? AND evnh=?",
         {"DVS", "UID", "DT", "EVN", "EVNH"}},
        {"INSERT INTO t (a,b) VALUES (:a,:B)", "INSERT INTO t (a,b) VALUES (?,?)", {"A", "B"}},
        {"SELECT ':not' FROM t WHERE x=:x", "SELECT ':not' FROM t WHERE x=?", {"X"}},
        {"SELECT \"a:b\" FROM t", "SELECT \"a:b\" FROM t", {}},
        {"SELECT a FROM t WHERE b = :p AND c = :p", "SELECT a FROM t WHERE b = ? AND c = ?", {"P", "P"}},
        {"SELECT a::text, ':", "SELECT a:?, ':", {"TEXT"}},
        {"WHERE t = :1", "WHERE t = :1", {}},
        {"", "", {}},
    };
    for (const auto& c : cases) {
        const PositionalStatement p = TranslateNamedParameters(c.sql);
        EXPECT_EQ(p.sql, c.translated) << c.sql;
        EXPECT_EQ(p.names, c.names) << c.sql;
    }
}
