#pragma once
// Statements carry named parameters (":dvs"); the client library wants
// positional markers. Quoted literals and identifiers are left alone.

#include <string>
#include <vector>

namespace kestrix {

struct PositionalStatement {
    std::string sql;                 // with "?" for every parameter
    std::vector<std::string> names;  // in order of appearance, upper case
};

PositionalStatement TranslateNamedParameters(const std::string& sql);

}  // namespace kestrix
