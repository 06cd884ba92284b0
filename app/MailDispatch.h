#pragma once
// What "Enviar E-mail" hands over to the mail dispatch: the texts of the main
// window's month and year edit fields, read at the moment of the click, and the
// send dialog's three fields. The dispatch itself (message, SMTP over TLS) is
// built on the mail library; until that is in place Send does nothing.

#include <string>

namespace orvant::app {

struct TMailDispatchInput {
    std::u16string MonthEditText; // Cb_Mes edit text, e.g. "Março"
    std::u16string YearEditText;  // Cb_Ano edit text, e.g. "2021"
    std::u16string StoreName;     // edt_loja
    std::u16string Recipient;     // edt_email
    std::u16string AttachmentPath; // edit_anexo, Windows path text
};

class TMailDispatch {
public:
    virtual ~TMailDispatch() = default;
    virtual void Send(const TMailDispatchInput& input);
};

} // namespace orvant::app
