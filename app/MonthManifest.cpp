#include "app/MonthManifest.h"

#include "mime/IdGlobal.h"
#include "platform/Clock.h"
#include "platform/NativePath.h"
#include "platform/Utf.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace orvant::app {

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

constexpr std::string_view kManifestSuffix = "-manifesto.txt";

bool NeedsEscape(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '%';
}

// Appends the field, its tab, line breaks, other control characters and '%' as
// %XX. A manifest holds tens of thousands of names: most go in as they are.
void AppendEscaped(std::string& out, std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (std::none_of(utf8.begin(), utf8.end(), NeedsEscape)) {
        out += utf8;
        return;
    }
    for (const char c : utf8) {
        if (!NeedsEscape(c)) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

int HexValue(char c)
{
    return HexDigitValue(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

std::u16string Unescaped(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size() && HexValue(field[i + 1]) >= 0 && HexValue(field[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
            i += 2;
        } else {
            out += field[i];
        }
    }
    return Utf8ToUtf16(out);
}

std::string Hex32(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base = 10)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

class TRecordWriter {
public:
    explicit TRecordWriter(std::string& out) : FOut(out) {}
    TRecordWriter& operator()(std::string_view kind)
    {
        FOut += kind;
        return *this;
    }
    TRecordWriter& Field(std::string_view utf8)
    {
        FOut += '\t';
        AppendEscaped(FOut, utf8);
        return *this;
    }
    TRecordWriter& Field(std::u16string_view text) { return Field(Utf16ToUtf8(text)); }
    void End() { FOut += '\n'; }

private:
    std::string& FOut;
};

// One parsed record into the manifest; false for a record that is malformed.
bool ReadRecord(const std::vector<std::string_view>& f, TMonthManifest& m, bool& sawMonth)
{
    const std::string_view kind = f[0];
    if (kind == "mes" && f.size() >= 2 && f[1].size() == 7 && f[1][4] == '-') {
        m.Year = Utf8ToUtf16(f[1].substr(0, 4));
        m.Month = Utf8ToUtf16(f[1].substr(5, 2));
        sawMonth = true;
    } else if (kind == "extraido_em" && f.size() >= 2) {
        m.ExtractedAt = Unescaped(f[1]);
    } else if (kind == "pdv" && f.size() >= 3) {
        m.Terminals.push_back({Unescaped(f[1]), Unescaped(f[2])});
    } else if (kind == "pasta" && f.size() >= 5) {
        m.Folders.push_back({Unescaped(f[1]), Unescaped(f[2]), Unescaped(f[3]), Unescaped(f[4])});
    } else if (kind == "arquivo" && f.size() >= 5) {
        TManifestFile file;
        const std::u16string path = Unescaped(f[1]);
        const std::size_t first = path.find(u'/');
        const std::size_t second = first == std::u16string::npos ? first : path.find(u'/', first + 1);
        if (second == std::u16string::npos || !ParseNumber(f[2], file.Size) || !ParseNumber(f[4], file.Crc32, 16))
            return false;
        const std::u16string_view folder = std::u16string_view(path).substr(first + 1, second - first - 1);
        if (folder != kIssuedFolder && folder != kCancelledFolder)
            return false;
        file.Terminal = path.substr(0, first);
        file.Folder = folder == kIssuedFolder ? kIssuedFolder : kCancelledFolder;
        file.Name = path.substr(second + 1);
        file.Modified = std::string(f[3]);
        m.Files.push_back(std::move(file));
    } else if (kind == "problema" && f.size() >= 3) {
        m.Problems.push_back({Unescaped(f[1]), Unescaped(f[2])});
    } else if (kind == "conferido" && f.size() >= 4) {
        TManifestSeal seal;
        seal.CheckedAt = Unescaped(f[1]);
        if (!ParseNumber(f[2], seal.ArchiveSize) || f[3].size() != 64)
            return false;
        seal.ArchiveSha256 = std::string(f[3]);
        m.Seal = std::move(seal);
    }
    return true; // other records ("situacao") are for the reader
}

} // namespace

std::u16string TManifestFile::ArchivePath() const
{
    std::u16string path;
    path.reserve(Terminal.size() + Folder.size() + Name.size() + 2);
    return path.append(Terminal).append(u"/").append(Folder).append(u"/").append(Name);
}

std::string ManifestTime(std::int64_t unixSeconds)
{
    // Written by hand: once per invoice, and snprintf cost more than the copy's checksum.
    const platform::TLocalDateTime t = platform::LocalDateTimeOf(unixSeconds);
    std::string text = "0000-00-00 00:00:00";
    const auto put = [&text](std::size_t at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, t.Year, 4);
    put(5, t.Month, 2);
    put(8, t.Day, 2);
    put(11, t.Hour, 2);
    put(14, t.Minute, 2);
    put(17, t.Second, 2);
    return text;
}

std::pair<int, int> TMonthManifest::CountsOf(std::u16string_view terminal) const
{
    std::pair<int, int> counts;
    for (const auto& f : Files) {
        if (f.Terminal == terminal)
            ++(f.Folder == kIssuedFolder ? counts.first : counts.second);
    }
    return counts;
}

std::u16string TMonthManifest::FilesPerTerminal() const
{
    std::u16string text;
    for (const auto& t : Terminals) {
        const auto [issued, cancelled] = CountsOf(t.Key);
        text += (text.empty() ? u"" : u";") + t.Key + u"=" + Utf8ToUtf16(std::to_string(issued)) + u"/"
            + Utf8ToUtf16(std::to_string(cancelled));
    }
    return text;
}

std::u16string TMonthManifest::ProblemList(std::size_t shown) const
{
    std::u16string text;
    for (std::size_t i = 0; i < Problems.size() && i < shown; ++i)
        text += u"\n- " + Problems[i].Text;
    if (Problems.size() > shown)
        text += u"\n- e outros " + Utf8ToUtf16(std::to_string(Problems.size() - shown))
            + u" problemas (veja o manifesto)";
    return text;
}

std::u16string TMonthManifest::StateText() const
{
    const std::u16string files = Utf8ToUtf16(std::to_string(Files.size())) + u" arquivos";
    if (!Complete())
        return u"incompleto: " + Utf8ToUtf16(std::to_string(Problems.size())) + u" problema(s), " + files;
    return Files.empty() ? u"vazio: nenhuma nota" : u"completo: " + files;
}

std::u16string ManifestPathFor(std::u16string_view archivePath)
{
    if (archivePath.size() <= 3 || archivePath.substr(archivePath.size() - 3) != u".7z")
        return {};
    return std::u16string(archivePath.substr(0, archivePath.size() - 3)) + Utf8ToUtf16(kManifestSuffix);
}

std::string ManifestText(const TMonthManifest& m)
{
    std::string out = "Orvant - manifesto do mês " + Utf16ToUtf8(m.Month) + "/" + Utf16ToUtf8(m.Year) + "\n"
        "# O que os PDVs habilitados tinham quando o mês foi extraído. O arquivo .7z ao lado foi\n"
        "# conferido com esta lista: os mesmos arquivos, com o mesmo tamanho e o mesmo CRC-32, e nada a mais.\n"
        "# arquivo: caminho no .7z, tamanho em bytes, modificação no PDV, CRC-32 dos bytes copiados.\n"
        "# problema: o que deixou notas de um PDV de fora; com algum, o mês está incompleto.\n";
    TRecordWriter record(out);
    record("mes").Field(Utf16ToUtf8(m.Year) + "-" + Utf16ToUtf8(m.Month)).End();
    record("extraido_em").Field(m.ExtractedAt).End();
    for (const auto& t : m.Terminals)
        record("pdv").Field(t.Key).Field(t.Computer).End();
    for (const auto& f : m.Folders)
        record("pasta").Field(f.Terminal).Field(f.Folder).Field(f.SourcePath).Field(f.State).End();
    out.reserve(out.size() + m.Files.size() * 128);
    for (const auto& f : m.Files)
        record("arquivo").Field(f.ArchivePath()).Field(std::to_string(f.Size)).Field(f.Modified).Field(Hex32(f.Crc32)).End();
    for (const auto& p : m.Problems)
        record("problema").Field(p.Terminal).Field(p.Text).End();
    record("situacao").Field(m.StateText()).End();
    if (m.Seal)
        record("conferido").Field(m.Seal->CheckedAt).Field(std::to_string(m.Seal->ArchiveSize))
            .Field(m.Seal->ArchiveSha256).End();
    return out;
}

std::optional<TMonthManifest> ParseManifest(std::string_view text)
{
    TMonthManifest manifest;
    bool sawMonth = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#' || line.find('\t') == std::string_view::npos)
            continue; // the title, comments
        if (!ReadRecord(Fields(line), manifest, sawMonth))
            return std::nullopt;
    }
    if (!sawMonth)
        return std::nullopt;
    return manifest;
}

std::optional<TMonthManifest> ReadManifestFile(const std::string& path)
{
    std::ifstream file(platform::NativePath(path), std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return ParseManifest(text.str());
}

} // namespace orvant::app
