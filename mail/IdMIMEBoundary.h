#pragma once
// MIME boundaries: the stack of boundaries a message writer has open, and the
// generator of new ones.

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"

#include <functional>

// A stack of boundaries, each with the index of the multipart part it belongs to
// (-1 for the message itself). The top is entry 0 of both lists.
class TIdMIMEBoundary {
public:
    void Push(const String& boundary, int parentPart);
    // Removes the top entry; nothing when the stack is empty.
    void Pop();
    void Clear();
    int Count() const { return FBoundaryList.Count(); }
    // The top boundary, empty when the stack is empty.
    String Boundary() const;
    // The top entry's parent part, -1 when the stack is empty.
    int ParentPart() const;

private:
    TStringList FBoundaryList;
    TStringList FParentPartList;
};

// A uniform number in [0, 1).
using TIdRandomSource = std::function<double()>;

class TIdMIMEBoundaryStrings {
public:
    // A digit or an ASCII letter.
    static char16_t GenerateRandomChar();
    // 34 letters and digits with one "=_" at a random place: that pair never occurs
    // in base64 or quoted-printable output, so the boundary cannot appear in a part.
    static String GenerateBoundary();

    // Replaces the process-wide generator (for tests); an empty source restores it.
    static void SetRandomSource(TIdRandomSource source);
};
