#include "FakeSystemServices.h"

#include <algorithm>

#include "Files.h"

namespace browser_extensions::registration {
namespace {

// The folders holding `path`, nearest first.
std::vector<std::string> FoldersAbove(const std::string& path) {
    std::vector<std::string> folders;
    for (std::string folder = Files::FolderOf(path); !folder.empty();
         folder = Files::FolderOf(folder)) {
        folders.push_back(folder);
        if (Files::FolderOf(folder) == folder) {
            break;
        }
    }
    return folders;
}

bool IsBelow(const std::string& key, const std::string& parent) {
    return key.size() > parent.size() + 1 && key.compare(0, parent.size(), parent) == 0 &&
           key[parent.size()] == '\\';
}

}  // namespace

bool FakeSystemServices::IsFolder(const std::string& path) const {
    return std::any_of(files.begin(), files.end(), [&](const auto& file) {
        const std::vector<std::string> above = FoldersAbove(file.first);
        return std::find(above.begin(), above.end(), path) != above.end();
    });
}

bool FakeSystemServices::Exists(const std::string& path) const {
    return IsRegularFile(path) || IsFolder(path);
}

bool FakeSystemServices::ReadText(const std::string& path, std::string& text) const {
    const auto file = files.find(path);
    if (file == files.end()) {
        return false;
    }
    text = file->second;
    return true;
}

std::vector<std::string> FakeSystemServices::NamesIn(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& file : files) {
        if (Files::FolderOf(file.first) == folder) {
            names.push_back(Files::FileNameOf(file.first));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool FakeSystemServices::IsExecutable(const std::string& path, std::string& why) const {
    if (!IsRegularFile(path)) {
        why = "No such file or directory";
        return false;
    }
    if (programs.count(path) == 0) {
        why = "not executable";
        return false;
    }
    return true;
}

bool FakeSystemServices::WriteFile(const std::string& path, const std::string& text,
                                   std::string& error) {
    for (const std::string& folder : FoldersAbove(path)) {
        if (IsRegularFile(folder)) {
            error = "cannot create " + Files::FolderOf(path) + ": Not a directory";
            return false;
        }
    }
    files[path] = text;
    return true;
}

bool FakeSystemServices::Remove(const std::string& path, std::string& error) {
    if (IsFolder(path)) {
        error = "cannot remove " + path + ": Directory not empty";
        return false;
    }
    files.erase(path);
    programs.erase(path);
    return true;
}

bool FakeSystemServices::SetKeyDefault(const std::string& key, const std::string& value,
                                       std::string& error) {
    if (!UsesRegistry()) {
        error = "there is no registry on this system";
        return false;
    }
    keys[key].value = value;
    return true;
}

bool FakeSystemServices::DeleteKey(const std::string& key, std::string& error) {
    if (!UsesRegistry()) {
        error = "there is no registry on this system";
        return false;
    }
    for (auto it = keys.begin(); it != keys.end();) {
        it = it->first == key || IsBelow(it->first, key) ? keys.erase(it) : std::next(it);
    }
    return true;
}

RegistryEntry FakeSystemServices::ReadKey(const std::string& key) const {
    const auto found = keys.find(key);
    if (found != keys.end()) {
        return {true, found->second.value};
    }
    const bool parent =
        std::any_of(keys.begin(), keys.end(), [&](const auto& k) { return IsBelow(k.first, key); });
    return {parent, std::nullopt};
}

std::vector<std::string> FakeSystemServices::SubkeysOf(const std::string& key) const {
    std::set<std::string> names;
    for (const auto& entry : keys) {
        if (IsBelow(entry.first, key)) {
            const std::string rest = entry.first.substr(key.size() + 1);
            names.insert(rest.substr(0, rest.find('\\')));
        }
    }
    return {names.begin(), names.end()};
}

std::vector<RegistryValue> FakeSystemServices::ValuesOf(const std::string& key) const {
    const auto found = keys.find(key);
    std::vector<RegistryValue> values =
        found == keys.end() ? std::vector<RegistryValue>{} : found->second.values;
    std::sort(values.begin(), values.end(),
              [](const RegistryValue& a, const RegistryValue& b) { return a.name < b.name; });
    return values;
}

}  // namespace browser_extensions::registration
