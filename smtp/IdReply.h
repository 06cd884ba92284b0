#pragma once
// A server's reply: a status code and the text lines that came with it.
//
// TIdReply is the abstract record; TIdReplyRFC (smtp/IdReplyRFC.h) knows the
// three-digit codes and multi-line syntax of line-oriented Internet protocols and
// TIdReplySMTP (smtp/IdReplySMTP.h) adds the enhanced status code. A connection
// collects the raw lines of one reply until IsEndMarker accepts one, hands them to
// SetFormattedReply and, when it did not expect the code, calls RaiseReplyError.
//
// Replies are collection items: they may live in a TIdReplies (which refuses two
// items with the same code) or stand alone with a null collection.

#include "mime/IdCollection.h"
#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"

#include <cstdint>
#include <memory>

class TIdReplies;
class TIdReply;

// A class reference for replies: a connection makes its replies through one, so the
// SMTP client's replies are TIdReplySMTP throughout. The reference of class T is
// &CreateWithReplyTexts<T>.
using TIdReplyClass = std::unique_ptr<TIdReply> (*)(TCollection* collection, TIdReplies* replyTexts);

template <class T>
std::unique_ptr<TIdReply> CreateWithReplyTexts(TCollection* collection, TIdReplies* replyTexts)
{
    return std::make_unique<T>(collection, replyTexts);
}

class TIdReply : public TCollectionItem {
public:
    explicit TIdReply(TCollection* collection = nullptr, TIdReplies* replyTexts = nullptr);

    const String& Code() const { return FCode; }
    // Rejects invalid codes and codes another item of the same TIdReplies already has;
    // a new code clears the text lines.
    void SetCode(const String& value);
    // Code as a number, 0 when it is not one.
    std::int32_t NumericCode() const;
    void SetNumericCode(std::int32_t value);

    const TStrings& Text() const { return FText; }
    TStrings& Text() { return FText; }
    void SetText(const TStrings& value) { FText.Assign(value); }

    // The table of default texts that UpdateText consults; not owned.
    TIdReplies* ReplyTexts() const { return FReplyTexts; }
    void SetReplyTexts(TIdReplies* value) { FReplyTexts = value; }

    virtual bool IsValidCode(StringView code) const;
    // The reply in its wire form, and the reverse: a received list of lines to code
    // and text.
    virtual TStrings FormattedReply() const;
    virtual void SetFormattedReply(const TStrings& lines) = 0;
    virtual void Clear();
    // Whether a received line is the last line of a reply.
    virtual bool IsEndMarker(StringView line) const;
    // Raises the exception that stands for this reply.
    [[noreturn]] virtual void RaiseReplyError() const = 0;
    virtual bool ReplyExists() const;
    // Writes the code, then the text split into lines at line breaks.
    virtual void SetReply(std::int32_t code, const String& text);
    virtual void SetReply(const String& code, const String& text);

    // Copies another reply onto this one. Here only the plain "cannot assign" error:
    // each reply class says which sources it can take.
    virtual void Assign(const TIdReply& source);

    // Takes the text lines from the reply-texts table when this reply has none.
    void UpdateText();
    // The code, and the first text line after a blank when there is one.
    String DisplayName() const;
    virtual String ClassName() const { return u"TIdReply"; }

protected:
    // The framework's default copy: the pairing is not supported.
    [[noreturn]] void AssignError(const TIdReply& source) const;

private:
    String FCode;
    TStrings FText;
    TIdReplies* FReplyTexts;
};

// An owned collection of replies of one class, e.g. a table of default texts by code.
class TIdReplies : public TOwnedCollectionOf<TIdReply> {
public:
    explicit TIdReplies(TIdReplyClass replyClass) : FReplyClass(replyClass) {}

    TIdReplyClass ReplyClass() const { return FReplyClass; }

    // Appends a new reply with the given code and text. If the reply cannot be set
    // (invalid or duplicate code), nothing is appended and the error passes on.
    TIdReply& Add(std::int32_t code, const String& text);
    TIdReply& Add(const String& code, const String& text);

    // The first item whose code is exactly `code` and which is not `ignore`; none for
    // an empty code.
    TIdReply* Find(StringView code, const TIdReply* ignore = nullptr) const;
    // Gives a reply without text lines the lines of the item with its code.
    void UpdateText(TIdReply& reply) const;

private:
    template <class Code>
    TIdReply& AddWith(const Code& code, const String& text);

    TIdReplyClass FReplyClass;
};
