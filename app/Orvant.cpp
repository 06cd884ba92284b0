// Orvant: collects the month's NFC-e invoice files of the store's checkout
// terminals, packs them with 7-Zip and mails the archive. No arguments: where
// drive C: and the terminals' shares live comes from the deployment file.
#include "app/AppTitle.h"
#include "app/gui/AppIcon.h"
#include "app/gui/Unit2.h"
#include "platform/Clock.h"
#include "platform/DeploymentConfig.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    application.setWindowIcon(orvant::gui::ApplicationIcon());

    const QString title = QString::fromStdU16String(
        orvant::app::ApplicationTitle(QCoreApplication::applicationFilePath().toStdU16String()));
    const orvant::platform::TSystemClock clock;
    orvant::gui::TForm_Extrair Form_Extrair(orvant::platform::LoadDeploymentConfig(), clock, title);
    Form_Extrair.move(0, 0);
    Form_Extrair.show();
    return application.exec();
}
