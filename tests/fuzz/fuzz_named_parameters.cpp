// Named parameters into positional markers.
#include <cstdlib>
#include <string>

#include "db/NamedParameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    const std::string sql(reinterpret_cast<const char*>(data), size);
    const PositionalStatement result = TranslateNamedParameters(sql);
    if (result.sql.size() > sql.size()) std::abort();
    for (const std::string& name : result.names) {
        if (name.empty()) std::abort();
        for (char c : name)
            if (c >= 'a' && c <= 'z') std::abort();
    }
    // Without a colon nothing changes.
    if (sql.find(':') == std::string::npos && (result.sql != sql || !result.names.empty())) std::abort();
    return 0;
}
