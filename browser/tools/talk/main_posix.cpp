#include "TalkMain.h"

int main(int argc, char* argv[]) {
    return browser_extensions::talk::TalkMain(std::vector<std::string>(argv + 1, argv + argc));
}
