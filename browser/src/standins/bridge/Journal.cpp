#include "Journal.h"

#include <cstdio>

#include "common/StandinFiles.h"
#include "platform/TextEncoding.h"

namespace halvern {

std::string JournalLine(const char* call, const std::string& args) {
    return std::string("{\"call\":\"") + call + "\",\"args\":[" + args + "]}";
}

void AppendToJournal(const std::string& line) {
    standins::AppendToFileNamedBy("HALVERN_JOURNAL", line);
}

std::string JsonString(const std::wstring& text) {
    const std::string utf8 = browser_extensions::WideToUtf8(text);
    std::string quoted;
    quoted.reserve(utf8.size() + 2);
    quoted.push_back('"');
    for (const char c : utf8) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(c));
                    quoted += escape;
                } else {
                    quoted.push_back(c);
                }
        }
    }
    quoted.push_back('"');
    return quoted;
}

}  // namespace halvern
