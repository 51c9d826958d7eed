#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "FakeAgent.h"
#include "messages/Sender.h"
#include "platform/TextEncoding.h"
#include "support/DebugCapture.h"

namespace handler_test {

using browser_extensions::testing_support::DebugCapture;

// Everything a sender was called with: (first, second) pairs, in UTF-8.
class RecordingSender {
  public:
    using Sender = browser_extensions::Sender;

  public:
    browser_extensions::Sender Function() {
        return [this](const std::wstring& first, const std::wstring& second) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.emplace_back(first, second);
        };
    }
    std::vector<std::pair<std::wstring, std::wstring>> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

  private:
    std::mutex m_mutex;
    std::vector<std::pair<std::wstring, std::wstring>> m_calls;
};

// One agent call as text, arguments in the contract's order: "WriteLog(3,text)",
// "NotifyTriggerFired(7,t1,{a=1;b=2})", "OnDocumentComplete(7,https://a/,true)".
inline std::string Describe(const fake_agent::Call& call) {
    std::vector<std::string> args;
    if (call.function == "WriteLog") {
        args.push_back(std::to_string(call.level));
    }
    for (const std::wstring& text : call.strings) {
        args.push_back(browser_extensions::WideToUtf8(text));
    }
    if (call.function == "OnDocumentComplete") {
        args.push_back(call.flag ? "true" : "false");
    }
    if (call.function == "NotifyTriggerFired" || call.function == "SendResponse") {
        std::string map = "{";
        for (const auto& [key, value] : call.values) {
            map += (map.size() > 1 ? ";" : "") + browser_extensions::WideToUtf8(key) + "=" +
                   browser_extensions::WideToUtf8(value);
        }
        args.push_back(map + "}");
    }
    std::string text = call.function + "(";
    for (size_t i = 0; i < args.size(); ++i) {
        text += (i > 0 ? "," : "") + args[i];
    }
    return text + ")";
}

inline std::vector<std::string> DescribeAll(const std::vector<fake_agent::Call>& calls) {
    std::vector<std::string> described;
    for (const fake_agent::Call& call : calls) {
        described.push_back(Describe(call));
    }
    return described;
}

}  // namespace handler_test
