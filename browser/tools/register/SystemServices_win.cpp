#include "RealSystemServices.h"

#include <windows.h>

#include "SystemMessage.h"

#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <optional>
#include <type_traits>

namespace browser_extensions::registration {
namespace {

// Closes an open key.
struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using OpenKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The root of a key written as "HKCU\..." or "HKLM\...", and the rest in `subkey`; null when it
// names neither.
HKEY RootOf(const std::string& key, std::wstring& subkey) {
    const std::size_t slash = key.find('\\');
    if (slash == std::string::npos) {
        return nullptr;
    }
    subkey = Utf8ToWide(key.substr(slash + 1));
    const std::string root = key.substr(0, slash);
    if (root == "HKCU") {
        return HKEY_CURRENT_USER;
    }
    return root == "HKLM" ? HKEY_LOCAL_MACHINE : nullptr;
}

OpenKey Open(const std::string& key, REGSAM access) {
    std::wstring subkey;
    const HKEY root = RootOf(key, subkey);
    HKEY handle = nullptr;
    if (root == nullptr ||
        ::RegOpenKeyExW(root, subkey.c_str(), 0, access, &handle) != ERROR_SUCCESS) {
        return nullptr;
    }
    return OpenKey(handle);
}

// The key's default value when it is text.
std::optional<std::string> DefaultText(HKEY key) {
    const DWORD text = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD bytes = 0;
    if (::RegGetValueW(key, nullptr, nullptr, text, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(key, nullptr, nullptr, text, nullptr, value.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(std::wcslen(value.c_str()));
    return WideToUtf8(value);
}

RegistryValue ValueFrom(const std::wstring& name, DWORD type, const BYTE* data, DWORD size) {
    RegistryValue value;
    value.name = WideToUtf8(name);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(size / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        value.type = RegistryValue::Type::String;
        value.text = WideToUtf8(text);
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data, sizeof number);
        value.type = RegistryValue::Type::Dword;
        value.number = number;
    }
    return value;
}

bool HasExtension(const std::wstring& path, const wchar_t* extension) {
    const std::size_t length = std::wcslen(extension);
    return path.size() > length && _wcsicmp(path.c_str() + path.size() - length, extension) == 0;
}

}  // namespace

bool RealSystemServices::UsesRegistry() const {
    return true;
}

std::string RealSystemServices::HomeFolder() const {
    return "";  // registrations are found in the registry, not in a home folder
}

std::string RealSystemServices::ConfigFolder() const {
    return "";
}

std::string RealSystemServices::SystemDescription() const {
    std::string text = "Windows";
    for (const RegistryValue& value :
         ValuesOf("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")) {
        if (value.type == RegistryValue::Type::String &&
            (value.name == "ProductName" || value.name == "DisplayVersion" ||
             value.name == "CurrentBuild")) {
            text += " " + value.name + "=" + value.text;
        }
    }
    return text;
}

namespace {

// Closes a handle.
struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

ProgramRun RealSystemServices::Run(const std::string& program,
                                   const std::vector<std::string>& arguments) const {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        run.error = SystemMessage(::GetLastError());
        return run;
    }
    const OwnedHandle reader(readEnd);
    OwnedHandle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const OwnedHandle nothing(
        ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing.get();
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    const std::wstring path = Utf8ToWide(program);
    std::wstring commandLine = Quoted(path);
    for (const std::string& argument : arguments) {
        commandLine += L" " + Quoted(Utf8ToWide(argument));
    }
    const std::wstring folder = std::filesystem::path(path).parent_path().wstring();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW, nullptr, folder.empty() ? nullptr : folder.c_str(),
                          &startup, &process)) {
        run.error = SystemMessage(::GetLastError());
        return run;
    }
    run.started = true;
    const OwnedHandle child(process.hProcess);
    ::CloseHandle(process.hThread);
    writer.reset();
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    char buffer[4096];
    for (;;) {
        DWORD waiting = 0;
        if (!::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &waiting, nullptr)) {
            break;  // every writer has closed its end
        }
        DWORD got = 0;
        if (waiting > 0 && ::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr)) {
            run.output.append(buffer, got);
            continue;
        }
        if (::GetTickCount64() > deadline) {
            ::TerminateProcess(child.get(), 1);  // the one this tool started
            run.error = "still running after 10 s: stopped";
            break;
        }
        ::Sleep(20);
    }
    ::WaitForSingleObject(child.get(), 5000);
    DWORD status = 0;
    ::GetExitCodeProcess(child.get(), &status);
    run.exitStatus = static_cast<int>(status);
    return run;
}

std::string RealSystemServices::ToolFolder() const {
    std::wstring path(32768, L'\0');  // the longest path Windows has
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length == path.size()) {
        return ".";
    }
    path.resize(length);
    return std::filesystem::path(path).parent_path().u8string();
}

bool RealSystemServices::IsExecutable(const std::string& path, std::string& why) const {
    const std::wstring wide = Utf8ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        why = SystemMessage(::GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        why = "a folder, not a program";
        return false;
    }
    // Browsers start the host through the command interpreter, so batch files run too.
    for (const wchar_t* extension : {L".exe", L".com", L".bat", L".cmd"}) {
        if (HasExtension(wide, extension)) {
            return true;
        }
    }
    why = "not a program (.exe, .com, .bat or .cmd)";
    return false;
}

bool RealSystemServices::SetKeyDefault(const std::string& key, const std::string& value,
                                       std::string& error) {
    std::wstring subkey;
    const HKEY root = RootOf(key, subkey);
    if (root == nullptr) {
        error = "not a registry key: " + key;
        return false;
    }
    HKEY handle = nullptr;
    LSTATUS status = ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) {
        error = "cannot create " + key + ": " + SystemMessage(static_cast<DWORD>(status));
        return false;
    }
    const OpenKey created(handle);
    const std::wstring wide = Utf8ToWide(value);
    const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    status = ::RegSetValueExW(handle, nullptr, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(wide.c_str()), bytes);
    if (status != ERROR_SUCCESS) {
        error = "cannot set " + key + ": " + SystemMessage(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

bool RealSystemServices::DeleteKey(const std::string& key, std::string& error) {
    std::wstring subkey;
    const HKEY root = RootOf(key, subkey);
    if (root == nullptr) {
        error = "not a registry key: " + key;
        return false;
    }
    const LSTATUS status = ::RegDeleteTreeW(root, subkey.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        error = "cannot delete " + key + ": " + SystemMessage(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

RegistryEntry RealSystemServices::ReadKey(const std::string& key) const {
    const OpenKey open = Open(key, KEY_QUERY_VALUE);
    return open ? RegistryEntry{true, DefaultText(open.get())} : RegistryEntry{};
}

std::vector<std::string> RealSystemServices::SubkeysOf(const std::string& key) const {
    std::vector<std::string> names;
    const OpenKey open = Open(key, KEY_ENUMERATE_SUB_KEYS);
    if (!open) {
        return names;
    }
    wchar_t name[256];  // the longest key name the registry allows, plus one
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (::RegEnumKeyExW(open.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.push_back(WideToUtf8(std::wstring(name, length)));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<RegistryValue> RealSystemServices::ValuesOf(const std::string& key) const {
    std::vector<RegistryValue> values;
    const OpenKey open = Open(key, KEY_QUERY_VALUE);
    if (!open) {
        return values;
    }
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (::RegQueryInfoKeyW(open.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &longestName, &longestData, nullptr,
                           nullptr) != ERROR_SUCCESS) {
        return values;
    }
    std::wstring name(longestName + 1, L'\0');
    std::vector<BYTE> data(longestData);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueW(open.get(), index, name.data(), &nameLength, nullptr, &type,
                            data.data(), &dataLength) != ERROR_SUCCESS) {
            break;
        }
        if (nameLength == 0) {
            continue;  // the default value names no policy
        }
        values.push_back(ValueFrom(name.substr(0, nameLength), type, data.data(), dataLength));
    }
    std::sort(values.begin(), values.end(),
              [](const RegistryValue& a, const RegistryValue& b) { return a.name < b.name; });
    return values;
}

}  // namespace browser_extensions::registration
