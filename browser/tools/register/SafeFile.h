#pragma once

#include <string>

namespace browser_extensions::registration {

// Writes and removals that whoever owns the target folder cannot turn against the one running the
// tool: no link planted in the way is followed, and nothing but the tool's own file is touched.
namespace SafeFile {
// Creates the missing folders of `path` without following links someone else owns, then
// replaces the file in one step through a temporary file created exclusively beside it,
// readable by every user. A link at the final name is replaced, never written through.
bool Replace(const std::string& path, const std::string& text, std::string& error);
// Removes `path` if it is a regular file (not a link or a folder), reached without following
// links someone else owns. A missing file is no error.
bool RemoveFile(const std::string& path, std::string& error);
// A name for the temporary beside `fileName` that no one can guess in advance, and that
// browsers reading *.json files pass over.
std::string TemporaryName(const std::string& fileName);
}  // namespace SafeFile

}  // namespace browser_extensions::registration
