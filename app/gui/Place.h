#pragma once
// Creates a control at its designed position and size, with its designed font.

#include <QFont>
#include <QString>
#include <QWidget>

namespace orvant::gui {

template <typename T>
T* Place(QWidget* parent, const QString& name, int left, int top, int width, int height, const QFont& font)
{
    auto* w = new T(parent);
    w->setObjectName(name);
    w->setGeometry(left, top, width, height);
    w->setFont(font);
    return w;
}

} // namespace orvant::gui
