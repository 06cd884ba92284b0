#include "app/MailDispatch.h"

namespace orvant::app {

void TMailDispatch::Send(const TMailDispatchInput& /*input*/)
{
    // Filled in together with the mail library (message, SMTP client, TLS).
}

} // namespace orvant::app
