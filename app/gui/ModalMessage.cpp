#include "app/gui/ModalMessage.h"

#include <QMessageBox>

namespace orvant::gui {

void ShowModalMessage(QWidget& owner, const QString& title, const QString& text,
                      const std::function<void(const QString&)>& replacement)
{
    if (replacement) {
        replacement(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, &owner);
    box.exec();
    owner.repaint();
}

} // namespace orvant::gui
