#pragma once
// The fonts the windows were designed with, by character height in pixels, with
// look-alikes for machines that lack them: Tahoma and Segoe UI are Windows fonts,
// Roboto comes with the Debian package fonts-roboto.

#include <QFont>

namespace orvant::gui {

enum class TDesignFace { dfTahoma, dfSegoeUI, dfRoboto };

QFont DesignFont(TDesignFace face, int pixelHeight, bool bold = false);

} // namespace orvant::gui
