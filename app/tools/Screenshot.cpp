// orvant-screenshot OUT.png [--extract [REPORT.png]]: shows the main window at
// 0,0 as the program does, presses "Enviar XML" (or, with --extract, "Extrair XML"
// on the store of the deployment file, answering its message boxes and printing
// their texts), and saves a picture of the screen area holding the windows. With
// REPORT.png the box of the month's report is saved too, over the main window.
// Run under an X server (scripts/screenshot starts Xvfb for it).
#include "app/AppTitle.h"
#include "app/gui/AppIcon.h"
#include "app/gui/Unit2.h"
#include "platform/Clock.h"
#include "platform/DeploymentConfig.h"

#include <QApplication>
#include <QMessageBox>
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
    const bool extract = argc > 2 && QString::fromLocal8Bit(argv[2]) == "--extract";
    const QString reportOut = extract && argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    bool reportSaved = reportOut.isEmpty();
    QTimer answerer;
    answerer.setInterval(400);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("%s: %s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
            if (!reportSaved && box->text().startsWith("Mês conferido")) {
                const QRect both = window.frameGeometry().united(box->frameGeometry()).adjusted(0, 0, 16, 16);
                reportSaved = QGuiApplication::primaryScreen()
                                  ->grabWindow(0, 0, 0, both.right(), both.bottom())
                                  .save(reportOut);
            }
            box->accept();
        }
    });
    answerer.start();
    int status = 1;
    QTimer::singleShot(500, [&] {
        (extract ? window.Btn_Extrair : window.Btn_Enviar)->click();
        QTimer::singleShot(800, [&] {
            const QRect both = window.frameGeometry().united(window.form_enviar()->frameGeometry())
                                   .adjusted(0, 0, 16, 16);
            const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, both.right(), both.bottom());
            status = shot.save(out) && reportSaved ? 0 : 1;
            application.quit();
        });
    });
    application.exec();
    return status;
}
