#include "engine/PrinterLibrary.h"

#include <iterator>

#include "shell/Trace.h"

// The engine resolves its entries in this order and the first missing one fails the binding.
const CPrinterLibrary::EntrySpec CPrinterLibrary::kEngineEntries[] = {
    {INDEX_EndPrint, false, "EndPrint", true},         {INDEX_PausePrint, false, "PausePrint", true},
    {INDEX_ResumePrint, false, "ResumePrint", true},   {INDEX_InitPrinter, false, "InitPrinter", true},
    {INDEX_StartPrint, false, "StartPrint", true},     {INDEX_WriteRipData, false, "WriteRipData", true},
    {INDEX_EndRipData, false, "EndRipData", true},     {INDEX_AbortPrint, false, "AbortPrint", true},
    {INDEX_SkipLines, false, "SkipLines", true},
};

const CPrinterLibrary::EntrySpec CPrinterLibrary::kServerEntries[] = {
    {INDEX_InitPrinter, false, "InitPrinter", true},   {INDEX_StartPrint, false, "StartPrint", true},
    {INDEX_WriteRipData, false, "WriteRipData", true}, {INDEX_EndRipData, false, "EndRipData", true},
    {INDEX_AbortPrint, false, "AbortPrint", false},    {INDEX_PausePrint, false, "PausePrint", true},
    {INDEX_ResumePrint, false, "ResumePrint", true},
};

const CPrinterLibrary::EntrySpec CPrinterLibrary::kAdjustEntries[] = {
    {ADJUST_ChangeFeedingData, true, "ChangeFeedingData", true},
    {ADJUST_GetCurrentPass, true, "GetCurrentPass", true},
    {ADJUST_ChangeBidData, true, "ChangeBidData", true},
    {ADJUST_GetCurrentInkmode, true, "GetCurrentInkmode", true},
};

std::unique_ptr<CPrinterLibrary> CPrinterLibrary::Bind(const std::filesystem::path& path, const EntrySpec* entries,
                                                       size_t count, std::string& error) {
    auto binding = std::unique_ptr<CPrinterLibrary>(new CPrinterLibrary());
    std::string why;
    binding->m_library = platform::DynamicLibrary::Load(path, why);
    if (!binding->m_library) {
        error = "the printer library " + path.string() + " cannot be loaded: " + why;
        return nullptr;
    }
    for (size_t i = 0; i < count; ++i) {
        const EntrySpec& entry = entries[i];
        void* address = binding->m_library.Symbol(entry.name);
        if (!address && entry.required) {
            error = "the printer library " + path.string() + " lacks the entry " + entry.name;
            return nullptr;
        }
        (entry.adjustment ? binding->m_adjust[entry.slot] : binding->lpfnDriver[entry.slot]) = address;
    }
    return binding;
}

std::unique_ptr<CPrinterLibrary> CPrinterLibrary::BindPrinterLibrary(const std::filesystem::path& path,
                                                                     std::string& error) {
    TraceLine("绑定打印机库");
    return Bind(path, kEngineEntries, std::size(kEngineEntries), error);
}

std::unique_ptr<CPrinterLibrary> CPrinterLibrary::LoadDll(const std::filesystem::path& path, std::string& error) {
    if (path.empty()) {
        TraceLine("打印机DLL路径为空");
        error = "the printer library path is empty";
        return nullptr;
    }
    return Bind(path, kServerEntries, std::size(kServerEntries), error);
}

std::unique_ptr<CPrinterLibrary> CPrinterLibrary::BindAdjustment(const std::filesystem::path& path,
                                                                 std::string& error) {
    return Bind(path, kAdjustEntries, std::size(kAdjustEntries), error);
}

int32_t CPrinterLibrary::InitPrinter(int32_t mode) const { return Entry<PFN_InitPrinter>(INDEX_InitPrinter)(mode); }

int32_t CPrinterLibrary::StartPrint(const void* ripHead48) const {
    return Entry<PFN_StartPrint>(INDEX_StartPrint)(ripHead48, 0);
}

int32_t CPrinterLibrary::WriteRipData(const void* data, int32_t count) const {
    return Entry<PFN_WriteRipData>(INDEX_WriteRipData)(data, count);
}

int32_t CPrinterLibrary::EndRipData() const { return Entry<PFN_EndRipData>(INDEX_EndRipData)(); }

int32_t CPrinterLibrary::AbortPrint() const {
    return Has(INDEX_AbortPrint) ? Entry<PFN_AbortPrint>(INDEX_AbortPrint)() : 0;
}

int32_t CPrinterLibrary::PausePrint() const { return Entry<PFN_PausePrint>(INDEX_PausePrint)(); }

int32_t CPrinterLibrary::ResumePrint() const { return Entry<PFN_ResumePrint>(INDEX_ResumePrint)(); }

int32_t CPrinterLibrary::ChangeFeedingData(int32_t value) const {
    return Adjust<PFN_ChangeFeedingData>(ADJUST_ChangeFeedingData)(value);
}

int32_t CPrinterLibrary::GetCurrentPass() const { return Adjust<PFN_GetCurrentPass>(ADJUST_GetCurrentPass)(); }

int32_t CPrinterLibrary::ChangeBidData(int32_t value) const {
    return Adjust<PFN_ChangeBidData>(ADJUST_ChangeBidData)(value);
}

int32_t CPrinterLibrary::GetCurrentInkmode() const {
    return Adjust<PFN_GetCurrentInkmode>(ADJUST_GetCurrentInkmode)();
}

int32_t CallSettingDialog(const std::filesystem::path& path, void* parentWindow) {
    std::string error;
    platform::DynamicLibrary library = platform::DynamicLibrary::Load(path, error);
    if (!library) return 0;
    auto entry = reinterpret_cast<PFN_SettingDialog>(library.Symbol("SettingDialog"));
    return entry ? entry(parentWindow) : 0;
}
