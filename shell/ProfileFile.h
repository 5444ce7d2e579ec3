#pragma once

// One ini file decoded into UTF-8 lines, read and written the way the Windows private-profile functions
// treat it. The reader and the writer both go through this class, so a value the writer places is exactly
// the one the reader finds.
//
// Every line keeps its own line ending, so that a rewrite reproduces the lines it did not change byte for
// byte, and the file keeps its encoding (UTF-8 with or without BOM, UTF-16LE with BOM, or GBK).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ProfileFile {
public:
    enum class Encoding { Utf8, Utf8Bom, Utf16Le, Gbk };

    // An empty profile with the form of a new file: UTF-8 without BOM and "\n" line ends.
    ProfileFile() = default;

    // Empty when the file cannot be read (missing, a folder, no permission).
    static std::optional<ProfileFile> Load(const std::filesystem::path& file);
    static ProfileFile Decode(std::string_view bytes);

    // The value of the first matching key in the first matching section, trimmed and unquoted, not cut.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // False when a name is empty, a name or the value holds a line break, or a text is not UTF-8.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // Empty when the text cannot be written in the file's encoding, or when the file could not be decoded
    // faithfully: rewriting it would alter lines nobody asked to change.
    std::optional<std::string> Encode() const;

    // Replaces the file atomically: readers see either the old or the new content, never a torn one, and on
    // failure the old file stays as it was.
    bool Save(const std::filesystem::path& file) const;

    Encoding encoding() const { return encoding_; }

private:
    struct Line {
        std::string text;
        std::string ending;  // "\r\n", "\n", or empty on a last line without one
    };

    std::optional<size_t> FindSection(std::string_view section) const;
    size_t SectionEnd(size_t header) const;
    std::optional<size_t> FindKey(size_t header, std::string_view key) const;
    void AppendSection(std::string_view section, std::string_view key, std::string_view value);
    void InsertKey(size_t header, std::string_view key, std::string_view value);
    void EnsureLastLineEnded();

    std::vector<Line> lines_;
    Encoding encoding_ = Encoding::Utf8;
    std::string newline_ = "\n";
    bool faithful_ = true;
};
