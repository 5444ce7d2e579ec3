#include "engine/RipFile.h"

#include "platform/File.h"

HeadReadResult CRipFile::ReadHead(const std::filesystem::path& path) {
    HeadReadResult result;
    platform::File file = platform::File::OpenRead(path);
    if (!file) return result;
    auto length = file.Size();
    if (!length) return result;
    result.fileLength = *length;
    std::array<uint8_t, RipHead::kSize> bytes{};
    if (result.fileLength < RipHead::kSize) {
        result.error = HeadError::TooShort;
        return result;
    }
    if (!file.ReadAt(bytes.data(), bytes.size(), 0)) return result;
    result.head = RipHead::FromBytes(bytes);
    result.error = result.head.DeriveForFile(result.fileLength);
    return result;
}
