#pragma once

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

// What Korinstal does: a fixed table of file copies, made in order, then Tessarin started through the
// system's command interpreter. Sources are relative to the working folder, so the program only finds them
// when it is started from the folder it ships in; targets are absolute.
class CDriverSetup {
public:
    struct Copy {
        std::filesystem::path source;
        std::filesystem::path target;
    };

    // The printer's kernel driver files into the Windows system folders.
    static std::vector<Copy> WindowsTable();
    // Linux drives the board through libusb and needs no kernel driver: what it needs instead is access to
    // the board for the operator, and the desktop's knowledge of Tessarin and its job files.
    static std::vector<Copy> LinuxTable();
    // The table of the platform this program was built for.
    static std::vector<Copy> Table();

    // Every target placed under `destDir` (a staging root, as in `make install DESTDIR=...`); an empty
    // `destDir` leaves the table as it is.
    static std::vector<Copy> PlacedUnder(std::vector<Copy> table, const std::filesystem::path& destDir);

    // Each copy overwrites its target. A failed copy is not reported and does not stop the ones after it:
    // the result is how many were made, for the caller's curiosity only.
    static int CopyAll(const std::vector<Copy>& table);

    // The command the interpreter runs at the end.
    static std::string_view TessarinCommand();

    // The whole program: copies (under $DESTDIR when it is set and not empty), "Success!" on `out`, then
    // Tessarin, waited for. Always 0.
    static int Run(std::FILE* out);
};
