#include "mail/IdMIMEBoundary.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <random>

namespace {

struct TRandomState {
    std::mutex Lock;
    TIdRandomSource Source;
    std::mt19937_64 Engine;
    bool Seeded = false;
};

TRandomState& RandomState()
{
    static TRandomState state;
    return state;
}

double Random()
{
    TRandomState& state = RandomState();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (state.Source)
        return state.Source();
    if (!state.Seeded) { // seeded once per process, on first use
        std::random_device device;
        state.Engine.seed(device() ^ static_cast<std::uint64_t>(
                                         std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        state.Seeded = true;
    }
    return std::generate_canonical<double, 53>(state.Engine);
}

// trunc(r * n + 1.5): 1 .. n + 1 for r in [0, 1), the two ends half as likely. Kept in
// that range whatever a replaced source answers.
int Draw(int n)
{
    const int k = static_cast<int>(std::trunc(Random() * n + 1.5));
    return std::clamp(k, 1, n + 1);
}

} // namespace

// --- TIdMIMEBoundary -------------------------------------------------------------------

void TIdMIMEBoundary::Push(const String& boundary, int parentPart)
{
    FBoundaryList.Insert(0, boundary);
    FParentPartList.Insert(0, IntToStr(parentPart));
}

void TIdMIMEBoundary::Pop()
{
    if (FBoundaryList.Count() > 0) {
        FBoundaryList.Delete(0);
        FParentPartList.Delete(0);
    }
}

void TIdMIMEBoundary::Clear()
{
    FBoundaryList.Clear();
    FParentPartList.Clear();
}

String TIdMIMEBoundary::Boundary() const
{
    return FBoundaryList.Count() > 0 ? FBoundaryList[0] : String();
}

int TIdMIMEBoundary::ParentPart() const
{
    return FParentPartList.Count() > 0 ? StrToIntDef(FParentPartList[0], -1) : -1;
}

// --- TIdMIMEBoundaryStrings -------------------------------------------------------------

char16_t TIdMIMEBoundaryStrings::GenerateRandomChar()
{
    // 48..109 spread over "0"-"9" (48..57), "A"-"Z" (58..83 + 7) and "a"-"z" (84..109 + 13).
    int v = Draw(61) + 47;
    if (v > 83)
        v += 13;
    else if (v > 57)
        v += 7;
    return static_cast<char16_t>(v);
}

String TIdMIMEBoundaryStrings::GenerateBoundary()
{
    constexpr int kLength = 34;
    String boundary(kLength, u' ');
    for (char16_t& c : boundary)
        c = GenerateRandomChar();
    const int n = Draw(32); // 1-based position 1 .. 33
    boundary[static_cast<std::size_t>(n - 1)] = u'=';
    boundary[static_cast<std::size_t>(n)] = u'_';
    return boundary;
}

void TIdMIMEBoundaryStrings::SetRandomSource(TIdRandomSource source)
{
    TRandomState& state = RandomState();
    std::lock_guard<std::mutex> guard(state.Lock);
    state.Source = std::move(source);
}
