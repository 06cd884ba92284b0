#pragma once
// The program's window icon: one 32 x 32 picture with an alpha channel.

#include <QIcon>

namespace orvant::gui {

QIcon ApplicationIcon();

} // namespace orvant::gui
