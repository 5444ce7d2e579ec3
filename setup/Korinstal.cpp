// Korinstal: installs what the printer needs from the folder it ships in, then starts Tessarin.
// No options; the command line is not looked at.

#include <cstdio>

#include "setup/DriverSetup.h"

int main() {
    return CDriverSetup::Run(stdout);
}
