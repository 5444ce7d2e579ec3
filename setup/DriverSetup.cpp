#include "setup/DriverSetup.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

std::vector<CDriverSetup::Copy> CDriverSetup::WindowsTable() {
    return {
        {L".\\vkprinter.sys", L"C:\\windows\\system32\\vkprinter.sys"},
        {L".\\dorlane.inf", L"C:\\windows\\inf\\dorlane.inf"},
        {L".\\vkprinter.sys", L"C:\\windows\\inf\\vkprinter.sys"},
        {L".\\usbboard.pdb", L"C:\\windows\\system32\\usbboard.pdb"},
        {L".\\usbboard.pdb", L"C:\\windows\\system32\\drivers\\usbboard.pdb"},
    };
}

std::vector<CDriverSetup::Copy> CDriverSetup::LinuxTable() {
    // The icon goes with the desktop entry: without it the menu and the file manager show a blank.
    return {
        {"./99-tessarin-board.rules", "/etc/udev/rules.d/99-tessarin-board.rules"},
        {"./tessarin.desktop", "/usr/share/applications/tessarin.desktop"},
        {"./tessarin-mime.xml", "/usr/share/mime/packages/tessarin.xml"},
        {"./tessarin.svg", "/usr/share/icons/hicolor/scalable/apps/tessarin.svg"},
    };
}

std::vector<CDriverSetup::Copy> CDriverSetup::Table() {
#ifdef _WIN32
    return WindowsTable();
#else
    return LinuxTable();
#endif
}

std::vector<CDriverSetup::Copy> CDriverSetup::PlacedUnder(std::vector<Copy> table,
                                                          const std::filesystem::path& destDir) {
    if (destDir.empty()) return table;
    for (Copy& copy : table) copy.target = destDir / copy.target.relative_path();
    return table;
}

int CDriverSetup::CopyAll(const std::vector<Copy>& table) {
    int made = 0;
    for (const Copy& copy : table) {
        std::error_code ec;
        if (std::filesystem::copy_file(copy.source, copy.target,
                                       std::filesystem::copy_options::overwrite_existing, ec))
            ++made;
    }
    return made;
}

std::string_view CDriverSetup::TessarinCommand() {
#ifdef _WIN32
    return ".\\Tessarin.exe";
#else
    return "./Tessarin";
#endif
}

int CDriverSetup::Run(std::FILE* out) {
    const char* destDir = std::getenv("DESTDIR");
    CopyAll(PlacedUnder(Table(), destDir ? destDir : ""));
    // Flushed before the interpreter starts, so the message comes first even when the output is a pipe.
    std::fputs("Success!\n", out);
    std::fflush(out);
    int status = std::system(std::string(TessarinCommand()).c_str());
    (void)status;  // whatever Tessarin did, the setup itself went through
    return 0;
}
