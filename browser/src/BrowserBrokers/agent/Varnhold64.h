#pragma once

// The nine functions of the sign-on agent's library that the host calls, linked by import
// (Varnhold64.dll with its import library on Windows, libVarnhold64.so elsewhere). Texts and maps
// cross the boundary as standard-library objects, so the library is built against the same
// standard library as the host. None of them may throw: the host guards no call.

#include <functional>
#include <map>
#include <string>

#if defined(_WIN32)
#if defined(VARNHOLD_BUILDING)
#define VARNHOLD_API __declspec(dllexport)
#else
#define VARNHOLD_API __declspec(dllimport)
#endif
#else
#define VARNHOLD_API __attribute__((visibility("default")))
#endif

namespace kaprix_core {

// Kept by the library and called later, from any thread, any number of times: the first
// argument is ignored, the second is the reply text in protected form.
using ReplyFunction = std::function<void(const std::wstring&, const std::wstring&)>;
using StringMap = std::map<std::wstring, std::wstring>;

VARNHOLD_API int OnTabClosed(const std::wstring& tabId);
VARNHOLD_API void NotifyTriggerFired(const std::wstring& tabId, const std::wstring& triggerId,
                                     const StringMap& values);
VARNHOLD_API void NotifyTriggerFailed(const std::wstring& tabId, const std::wstring& triggerId);
VARNHOLD_API void OnDocumentComplete(const std::wstring& tabId, const std::wstring& url,
                                     bool topLevelDocument, ReplyFunction reply);
VARNHOLD_API void OnBasicAuthRequired(const std::wstring& tabId, const std::wstring& host,
                                      ReplyFunction reply);
VARNHOLD_API void SaveCredentials(const std::wstring& tabId, const std::wstring& host,
                                  const std::wstring& userName, const std::wstring& password);
VARNHOLD_API void SendResponse(const std::wstring& tabId, const std::wstring& requestId,
                               const StringMap& values);

}  // namespace kaprix_core

namespace kaprix_utils {

VARNHOLD_API int GetLogLevel();
VARNHOLD_API void WriteLog(int level, const std::wstring& text);

}  // namespace kaprix_utils
