#include "events/EventExport.h"

#include <cstring>
#include <stdexcept>

#include "events/ReplaceFile.h"

namespace kestrix {

void WriteEventTextFile(const std::string& path, const std::vector<HexText>& records) {
    std::string text;
    text.reserve(records.size() * 34);
    for (const HexText& record : records) {
        text += record;
        text += "\r\n";
    }
    try {
        ReplaceFileContents(path, text);
    } catch (const std::system_error& error) {
        throw std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(error.code().value()));
    }
}

}  // namespace kestrix
