#include "Journal.h"

#include <utility>

#include "common/StandinFiles.h"
#include "json/Writer.h"
#include "platform/TextEncoding.h"

namespace varnhold_standin {

void JournalCall(const wchar_t* function,
                 const std::function<browser_extensions::json::Array()>& makeArgs) {
    namespace json = browser_extensions::json;
    if (!standins::EnvironmentText("VARNHOLD_JOURNAL")) {
        return;  // spare the work when nobody reads the journal
    }
    // Written by hand around the writer's parts: an object would sort "args" before "call".
    const std::wstring line = L"{\"call\":" + json::Write(json::Value(function)) + L",\"args\":" +
                              json::Write(json::Value(makeArgs())) + L"}";
    standins::AppendToFileNamedBy("VARNHOLD_JOURNAL", browser_extensions::WideToUtf8(line));
}

}  // namespace varnhold_standin
