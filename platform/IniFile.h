#pragma once
// Read-only INI file with the lookup rules of the Windows profile functions
// (GetPrivateProfileStringW):
//  - section and key names match without regard to case; the first section and,
//    inside it, the first key of a name win;
//  - a value loses its leading and trailing blanks, then one pair of single or
//    double quotes enclosing the whole value, and is cut to 2047 characters;
//  - a missing file, section or key reads as the default (empty text).
// The file's bytes are decoded as UTF-16 when they start with a byte-order mark,
// as UTF-8 when they are valid UTF-8 (with or without a BOM), and as
// Windows-1252 otherwise, which is what Windows tools write for Portuguese text.
// On Windows a loaded file is read by GetPrivateProfileStringW itself, at each
// ReadString, so that Orvant reads the terminal list exactly as the other Windows
// programs of the store do (UTF-16 with a BOM, else the ANSI code page).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

std::u16string DecodeTextFile(const std::vector<std::uint8_t>& bytes);

class TIniFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    TIniFile() = default;
    // Reads the file at a path (UTF-8 text; a Windows path on Windows); a file that
    // cannot be read gives an empty INI.
    static TIniFile Load(const std::string& path);
    static TIniFile FromText(std::u16string_view text);

    std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view defaultValue = {}) const;
    bool HasSection(std::u16string_view section) const;

private:
    struct TEntry {
        std::u16string FoldedKey;
        std::u16string Value;
    };
    struct TSection {
        std::u16string FoldedName;
        std::vector<TEntry> Entries;
    };
    const TSection* FindSection(std::u16string_view section) const;
    // Windows: through the profile functions, for a file named by FSystemFile.
    std::u16string ReadFromSystem(std::u16string_view section, std::u16string_view key,
                                  std::u16string_view defaultValue) const;
    bool SystemHasSection(std::u16string_view section) const;

    std::vector<TSection> FSections;
    std::string FSystemFile; // empty: the sections above hold the text
};

} // namespace orvant::platform
