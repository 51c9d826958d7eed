#include "Journal.h"

#include <optional>

#include "common/StandinFiles.h"
#include "json/StringLiteral.h"
#include "platform/TextEncoding.h"

namespace halvern {

std::string JournalLine(const char* call, const std::string& args) {
    return std::string("{\"call\":\"") + call + "\",\"args\":[" + args + "]}";
}

void AppendToJournal(const std::string& line) {
    standins::AppendToFileNamedBy("HALVERN_JOURNAL", line);
}

bool JournalEnabled() {
    const std::optional<std::string> path = standins::EnvironmentText("HALVERN_JOURNAL");
    return path && !path->empty();
}

std::string JsonString(const std::wstring& text) {
    const browser_extensions::SecretString literal =
        browser_extensions::json::Utf8StringLiteral(browser_extensions::WideToUtf8(text));
    return std::string(literal.data(), literal.size());
}

}  // namespace halvern
