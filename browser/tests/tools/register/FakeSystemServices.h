#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "SystemServices.h"

namespace browser_extensions::registration {

// A machine in memory, with manifest folders (as Linux has) or the registry (as Windows has), so
// the commands' logic of either platform is tested in-process on any build.
class FakeSystemServices final : public SystemServices {
  public:
    enum class Platform { Folders, Registry };

    struct Key {
        std::optional<std::string> value;  // the default value
        std::vector<RegistryValue> values;
    };

    explicit FakeSystemServices(Platform platform) : platform_(platform) {}

    // The machine's state, for tests to set up and to look at.
    std::map<std::string, std::string> files;  // path -> content
    std::set<std::string> programs;            // files that can be started
    std::map<std::string, Key> keys;           // full key path, as "HKCU\\..."
    std::string home;                          // $HOME
    std::string configHome;                    // $CHROME_CONFIG_HOME or $XDG_CONFIG_HOME
    std::string toolFolder;
    std::map<std::string, std::string> writableByOthers;  // path -> who else can write it
    ProgramRun programRun;                                // what every program started does
    mutable std::vector<std::pair<std::string, std::vector<std::string>>> runs;  // started

    bool UsesRegistry() const override { return platform_ == Platform::Registry; }
    std::string HomeFolder() const override { return home; }
    std::string ConfigFolder() const override { return configHome; }
    std::string ToolFolder() const override { return toolFolder; }
    std::string SystemDescription() const override { return "Fake OS 1.0"; }
    ProgramRun Run(const std::string& program,
                   const std::vector<std::string>& arguments) const override {
        runs.push_back({program, arguments});
        return programRun;
    }

    bool IsFolder(const std::string& path) const override;
    bool IsRegularFile(const std::string& path) const override { return files.count(path) != 0; }
    bool Exists(const std::string& path) const override;
    bool ReadText(const std::string& path, std::string& text) const override;
    std::vector<std::string> NamesIn(const std::string& folder) const override;
    bool IsExecutable(const std::string& path, std::string& why) const override;
    bool WriteFile(const std::string& path, const std::string& text, std::string& error) override;
    bool Remove(const std::string& path, std::string& error) override;
    std::string WhoElseCanWrite(const std::string& path) const override {
        const auto found = writableByOthers.find(path);
        return found == writableByOthers.end() ? "" : found->second;
    }

    bool SetKeyDefault(const std::string& key, const std::string& value,
                       std::string& error) override;
    bool DeleteKey(const std::string& key, std::string& error) override;
    RegistryEntry ReadKey(const std::string& key) const override;
    std::vector<std::string> SubkeysOf(const std::string& key) const override;
    std::vector<RegistryValue> ValuesOf(const std::string& key) const override;

  private:
    Platform platform_;
};

}  // namespace browser_extensions::registration
