// orvant-screenshot <out.png>: shows the main window at 0,0 as the program does,
// presses "Enviar XML", and saves a picture of the screen area holding both
// windows. Run under an X server (scripts/screenshot starts Xvfb for it).
#include "app/AppTitle.h"
#include "app/gui/AppIcon.h"
#include "app/gui/Unit2.h"
#include "platform/Clock.h"
#include "platform/DeploymentConfig.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvant-screenshot OUT.png\n");
        return 2;
    }
    application.setWindowIcon(orvant::gui::ApplicationIcon());
    const QString out = QString::fromLocal8Bit(argv[1]);
    const orvant::platform::TSystemClock clock;
    orvant::gui::TForm_Extrair window(orvant::platform::LoadDeploymentConfig(), clock, "Orvant");
    window.move(0, 0);
    window.show();
    int status = 1;
    QTimer::singleShot(500, [&] {
        window.Btn_Enviar->click();
        QTimer::singleShot(800, [&] {
            const QRect both = window.frameGeometry().united(window.form_enviar()->frameGeometry())
                                   .adjusted(0, 0, 16, 16);
            const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, both.right(), both.bottom());
            status = shot.save(out) ? 0 : 1;
            application.quit();
        });
    });
    application.exec();
    return status;
}
