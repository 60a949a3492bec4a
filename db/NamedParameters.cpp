#include "db/NamedParameters.h"

#include <cctype>

#include "db/Cp1251.h"

namespace kestrix {

namespace {
bool NameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool NamePart(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
}  // namespace

PositionalStatement TranslateNamedParameters(const std::string& sql) {
    PositionalStatement result;
    result.sql.reserve(sql.size());
    for (std::size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {  // copy the literal up to its closing mark
            const std::size_t close = sql.find(c, i + 1);
            const std::size_t end = close == std::string::npos ? sql.size() : close + 1;
            result.sql.append(sql, i, end - i);
            i = end;
        } else if (c == ':' && i + 1 < sql.size() && NameStart(sql[i + 1])) {
            std::size_t end = i + 1;
            while (end < sql.size() && NamePart(sql[end])) ++end;
            result.names.push_back(AsciiUpper(sql.substr(i + 1, end - i - 1)));
            result.sql += '?';
            i = end;
        } else {
            result.sql += c;
            ++i;
        }
    }
    return result;
}

}  // namespace kestrix
