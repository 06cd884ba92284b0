#include "platform/WinPath.h"

#include "platform/CaseFold.h"
#include "platform/Utf.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace orvant::platform {

namespace {

std::string JoinLinux(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace

TWinPathMapper::TWinPathMapper(TWinPathRoots roots) : FRoots(std::move(roots)) {}

std::optional<std::string> TWinPathMapper::FindIgnoringCase(const std::string& folder,
                                                            const std::u16string& name) const
{
    auto it = FListings.find(folder);
    if (it == FListings.end()) {
        TListing listing;
        if (std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir); dir) {
            while (const dirent* e = readdir(dir.get())) {
                const std::string n = e->d_name;
                if (n != "." && n != "..")
                    listing.ByFoldedName.emplace(FoldCase(Utf8ToUtf16(n)), n);
            }
        }
        it = FListings.emplace(folder, std::move(listing)).first;
    }
    const auto [first, last] = it->second.ByFoldedName.equal_range(FoldCase(name));
    if (first == last)
        return std::nullopt;
    // Several names differing only in case: take the smallest, so the choice is stable.
    std::string best = first->second;
    for (auto m = first; m != last; ++m)
        best = std::min(best, m->second);
    return best;
}

void TWinPathMapper::NoteCreated(const std::string& folder, const std::string& name) const
{
    if (auto it = FListings.find(folder); it != FListings.end())
        it->second.ByFoldedName.emplace(FoldCase(Utf8ToUtf16(name)), name);
}

std::optional<std::string> TWinPathMapper::Map(std::u16string_view path) const
{
    const auto parts = ParseWinPath(path);
    if (!parts)
        return std::nullopt;
    const auto& comps = parts->Components;
    const std::string& root = parts->IsUnc ? FRoots.Network : FRoots.DriveC;
    if (root.empty())
        return std::nullopt;

    // Start from the deepest folder already resolved: the parent of the last
    // component is the common case (many files in one folder).
    // The folded path once; the key of component i is its prefix up to keyEnds[i].
    std::u16string key = parts->IsUnc ? u"\\\\" : u"c:";
    std::vector<std::size_t> keyEnds;
    keyEnds.reserve(comps.size());
    for (const auto& c : comps) {
        key += u'\\';
        key += FoldCase(c);
        keyEnds.push_back(key.size());
    }
    const auto keyOf = [&](std::size_t i) { return std::u16string_view(key).substr(0, keyEnds[i]); };
    std::size_t start = 0;
    std::string current = root;
    for (std::size_t i = comps.size(); i-- > 0;) {
        if (auto it = FResolvedFolders.find(keyOf(i)); it != FResolvedFolders.end()) {
            current = it->second;
            start = i + 1;
            break;
        }
    }

    bool resolving = true;
    for (std::size_t i = start; i < comps.size(); ++i) {
        const std::string exact = Utf16ToUtf8(comps[i]);
        std::string next = JoinLinux(current, exact);
        if (resolving) {
            struct stat st {};
            bool found = lstat(next.c_str(), &st) == 0;
            if (!found) {
                if (auto other = FindIgnoringCase(current, comps[i])) {
                    next = JoinLinux(current, *other);
                    found = true;
                }
            }
            if (!found) {
                resolving = false; // the rest does not exist; keep the text as given
            } else if (i + 1 < comps.size() && stat(next.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                FResolvedFolders.emplace(keyOf(i), next);
            }
        }
        current = std::move(next);
    }
    if (parts->TrailingSeparator && current.back() != '/')
        current += '/';
    return current;
}

} // namespace orvant::platform
