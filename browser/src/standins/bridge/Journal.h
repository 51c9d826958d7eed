#pragma once

#include <cstdint>
#include <string>

namespace halvern {

// A call as one line of compact JSON: {"call":"<name>","args":[<args>]}. `args` is already JSON.
std::string JournalLine(const char* call, const std::string& args);

// The text (UTF-16 code units) as a JSON string literal in UTF-8.
std::string JsonString(const std::wstring& text);

// Appends the line and a line end, in one write, to the file named by HALVERN_JOURNAL (looked up
// at every call); nothing when it is unset or cannot be opened.
void AppendToJournal(const std::string& line);

// Whether HALVERN_JOURNAL names a file: without one, no message text is copied for the journal.
bool JournalEnabled();

}  // namespace halvern
