#pragma once
// Makes the boundary generator produce a chosen boundary, by feeding it the random
// numbers that give each of its characters and the place of its "=_". Restores the
// real generator when it goes out of scope.

#include "mail/IdMIMEBoundary.h"

#include <algorithm>
#include <deque>
#include <memory>

class FixedBoundary {
public:
    // boundary: 34 letters and digits with one "=_" in it.
    explicit FixedBoundary(const String& boundary)
    {
        auto draws = std::make_shared<std::deque<double>>();
        for (char16_t c : boundary)
            draws->push_back(RandomFor(CharDraw(c == u'=' || c == u'_' ? u'0' : c), 61));
        draws->push_back(RandomFor(static_cast<int>(boundary.find(u'=')) + 1, 32));
        TIdMIMEBoundaryStrings::SetRandomSource([draws] {
            if (draws->empty())
                return 0.0;
            const double r = draws->front();
            draws->pop_front();
            return r;
        });
    }
    ~FixedBoundary() { TIdMIMEBoundaryStrings::SetRandomSource({}); }
    FixedBoundary(const FixedBoundary&) = delete;
    FixedBoundary& operator=(const FixedBoundary&) = delete;

    // An r in [0, 1) with trunc(r * n + 1.5) == k, for k in 1 .. n + 1.
    static double RandomFor(int k, int n)
    {
        return std::clamp((k - 1.0) / n, 0.0, (n - 0.25) / n);
    }

private:
    // The draw 1 .. 62 that gives the character: digits, then upper, then lower case.
    static int CharDraw(char16_t c)
    {
        int v = c;
        if (c >= u'a')
            v -= 13;
        else if (c >= u'A')
            v -= 7;
        return v - 47;
    }
};
