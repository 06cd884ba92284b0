#include "app/gui/DesignFonts.h"

#include <QStringList>

namespace orvant::gui {

QFont DesignFont(TDesignFace face, int pixelHeight, bool bold)
{
    QStringList families;
    switch (face) {
    case TDesignFace::dfTahoma:
        families = {"Tahoma", "DejaVu Sans", "Verdana", "Sans Serif"};
        break;
    case TDesignFace::dfSegoeUI:
        families = {"Segoe UI", "Roboto", "Noto Sans", "DejaVu Sans", "Sans Serif"};
        break;
    case TDesignFace::dfRoboto:
        families = {"Roboto", "Noto Sans", "DejaVu Sans", "Sans Serif"};
        break;
    }
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setItalic(false);
    return font;
}

} // namespace orvant::gui
