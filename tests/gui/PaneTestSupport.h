#pragma once

// Job files and folders for the window tests of the document, the view and the panes.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "engine/RipHead.h"

namespace panetest {

inline std::filesystem::path Fs(const QString& path) { return std::filesystem::path(path.toStdString()); }

inline RipHead Head(uint32_t width, uint32_t height, uint32_t xdpi = 720, uint32_t ydpi = 720) {
    RipHead h;
    h.signature = 0x50524E31;
    h.xdpi = xdpi;
    h.ydpi = ydpi;
    h.byteperline = width;  // one byte a pixel
    h.height = height;
    h.width = width;
    h.color = 4;
    h.bit = 8;
    return h;
}

// The ink of plane p at pixel x of line n.
using Ink = std::function<uint8_t(uint32_t x, uint32_t n, uint32_t p)>;

// Writes a job of `planes` planes whose bytes come from `ink`.
inline void WriteJob(const QString& path, const RipHead& head, const Ink& ink, uint32_t planes = 4) {
    std::ofstream out(Fs(path), std::ios::binary | std::ios::trunc);
    const auto bytes = head.ToBytes();
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string row(head.byteperline, '\0');
    for (uint32_t n = 0; n < head.height; ++n)
        for (uint32_t p = 0; p < planes; ++p) {
            for (uint32_t x = 0; x < head.byteperline; ++x) row[x] = static_cast<char>(ink(x, n, p));
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
}

inline void WriteJob(const QString& path, const RipHead& head) {
    WriteJob(path, head, [](uint32_t x, uint32_t n, uint32_t p) { return uint8_t((x + 3 * n + 50 * p) & 0xFF); });
}

// A job of the full size with no ink, holding no blocks on disk: the previews still seek through it.
inline void WriteSparseJob(const QString& path, const RipHead& head, uint32_t planes = 4) {
    {
        std::ofstream out(Fs(path), std::ios::binary | std::ios::trunc);
        const auto bytes = head.ToBytes();
        out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::filesystem::resize_file(Fs(path), RipHead::kSize + uint64_t{head.byteperline} * head.height * planes);
}

inline void WriteText(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace panetest
