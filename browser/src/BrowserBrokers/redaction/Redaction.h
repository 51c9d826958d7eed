#pragma once

#include <string>
#include <string_view>

namespace browser_extensions {

// The text as a diagnostic may show it: only the values the host itself reads and that are no
// secret stay, by their place in the envelope:
// - the envelope's "tabID", "type" and "requestID";
// - in its "payload" object, unless the message is an answer (a "requestID" that is present and
//   not ""): "url" (without its query and fragment, and with any user name and password before
//   an "@" of its authority shown as ***), "bTopLvlDoc", "host", "username", "triggerId",
//   "level", and "message" when every "type" of the envelope is "log";
// - in each object of that payload's "values" array: "signature".
// Every other value, of any JSON type, shows as the string "***"; keys, containers and whitespace
// stay. Where the text stops being JSON, the rest shows as *** (unquoted). Names are compared as
// a JSON reader decodes them. Linear time, no recursion, whatever the input.
std::wstring RedactSecrets(std::wstring_view text);

}  // namespace browser_extensions
