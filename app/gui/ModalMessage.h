#pragma once
// The program's message box: modal, one OK button, titled with the application's
// title. The work that shows it holds the GUI thread, so the owner is repainted
// where the box covered it. A test sets `replacement` to take the text instead.

#include <QString>
#include <functional>

class QWidget;

namespace orvant::gui {

void ShowModalMessage(QWidget& owner, const QString& title, const QString& text,
                      const std::function<void(const QString&)>& replacement);

} // namespace orvant::gui
