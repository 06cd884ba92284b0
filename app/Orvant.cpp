// Orvant: collects the month's NFC-e invoice files of the store's checkout
// terminals, packs them with 7-Zip and mails the archive. No arguments: where
// drive C: and the terminals' shares live comes from the deployment file.
#include "app/AppTitle.h"
#include "app/gui/AppIcon.h"
#include "app/gui/Unit2.h"
#include "platform/Clock.h"
#include "platform/DeploymentConfig.h"
#include "platform/FileModes.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    // Before anything is written: invoices, addresses and server replies are for
    // the owner and the group only, also in what 7-Zip creates.
    orvant::platform::RestrictCreatedFileModes();
    QApplication application(argc, argv);
    application.setWindowIcon(orvant::gui::ApplicationIcon());

    const QString title = QString::fromStdU16String(
        orvant::app::ApplicationTitle(QCoreApplication::applicationFilePath().toStdU16String()));
    const orvant::platform::TDeploymentConfig deployment = orvant::platform::LoadDeploymentConfig();
    if (!deployment.Problems.empty()) {
        QString text;
        for (const auto& problem : deployment.Problems)
            text += QString::fromStdU16String(problem) + u'\n';
        QMessageBox::critical(nullptr, title,
                              text + QStringLiteral("Corrija o arquivo de implantação e abra o programa de novo."));
        return 1;
    }
    const orvant::platform::TSystemClock clock;
    orvant::gui::TForm_Extrair Form_Extrair(deployment, clock, title);
    Form_Extrair.move(0, 0);
    Form_Extrair.show();
    // Once at start; the file is used all the same.
    if (const auto warning =
            orvant::platform::WorldReadablePasswordWarning(deployment.SourcePath, !deployment.Password.empty()))
        QMessageBox::warning(&Form_Extrair, title, QString::fromStdString(*warning));
    return application.exec();
}
