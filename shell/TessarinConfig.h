#pragma once

#include <filesystem>
#include <string>

// The start-up values of Tessarin.ini (section setting) and the paths made from them. Everything else in
// the file is read again at the moment of use.
struct CTessarinConfig {
    std::filesystem::path programDirectory;
    std::filesystem::path configPath;          // <program directory>/Tessarin.ini
    std::string printerDllName;                // PrinterDll
    std::filesystem::path printerDllPath;      // <program directory>/<PrinterDll>.so
    std::filesystem::path printerSettingPath;  // <program directory>/<PrinterSettingDll>.so
    std::filesystem::path hotFolder;           // HotFolder; relative paths are taken from the program directory
    // Waits that a site may need to tune (milliseconds): a network client silent this long loses its job;
    // a hot-folder file unchanged this long counts as complete where the file system cannot tell; an empty
    // or held hot-folder file is given up after this long.
    int nReceiveTimeoutMs = 60000;
    int nHotFolderSettleMs = 1000;
    int nHotFolderWaitMs = 60000;

    static CTessarinConfig Load(const std::filesystem::path& programDirectory);
};
