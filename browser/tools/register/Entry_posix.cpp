#include <iostream>
#include <string>
#include <vector>

#include "Tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = browser_extensions::registration::Tool::Run(arguments, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
