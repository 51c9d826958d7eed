#pragma once

#include <filesystem>
#include <string>

namespace browser_extensions::registration {

// Portable reckoning with UTF-8 paths; what is on the disk is a question for SystemServices.
namespace Files {

std::string Join(const std::string& folder, const std::string& name);
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
bool IsAbsolute(const std::string& path);
// `path` against the current folder when it is relative.
std::string Absolute(const std::string& path);
// The characters of `path` that cmd.exe takes for its own in a command line ("& ^"), so that the
// start through "cmd.exe /d /c" breaks on them; empty when there are none.
std::string CommandInterpreterCharacters(const std::string& path);
// Between the tool's UTF-8 texts and the file system's paths.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace Files

}  // namespace browser_extensions::registration
