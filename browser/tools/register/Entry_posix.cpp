#include <iostream>
#include <string>
#include <vector>

#include "RealSystemServices.h"
#include "Tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    browser_extensions::registration::RealSystemServices services;
    const int status =
        browser_extensions::registration::Tool::Run(arguments, services, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
