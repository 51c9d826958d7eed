#include "host/HostEntry.h"

// The browser's arguments (the caller's origin) are not used.
int main() {
    return browser_extensions::RunHost();
}
