#include "Console.h"
#include "InputLine.h"

#include <windows.h>

#include "platform/TextEncoding.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>

namespace browser_extensions::talk {
namespace {

bool StdinIsConsole() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// The console hands out UTF-16; reading it as bytes would give the ANSI code page.
bool ReadConsoleLine(std::string& line) {
    std::wstring wide;
    wchar_t c = 0;
    DWORD got = 0;
    while (::ReadConsoleW(::GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1) {
        if (c == L'\n') {
            break;
        }
        if (c == 0x1A && wide.empty()) {  // Ctrl+Z at the start of a line ends the input
            return false;
        }
        wide += c;
    }
    if (got == 0 && wide.empty()) {
        return false;
    }
    if (!wide.empty() && wide.back() == L'\r') {
        wide.pop_back();
    }
    line = WideToUtf8(wide);
    return true;
}

}  // namespace

void Console::Prepare() {
    // Binary streams: no CRLF inserted into the output, no Ctrl+Z ending a piped input.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
}

bool Console::InputIsTerminal() {
    return StdinIsConsole();
}

bool Console::ReadInputLine(std::string& line) {
    if (StdinIsConsole()) {
        return ReadConsoleLine(line);
    }
    return InputLine::Read(std::cin, line);
}

}  // namespace browser_extensions::talk
