#include "app/gui/Unit1.h"

#include "app/WindowPlacement.h"
#include "app/gui/DesignFonts.h"
#include "app/gui/ModalMessage.h"
#include "app/gui/Place.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <exception>

namespace orvant::gui {

namespace {
const QString kButtonCaption = QStringLiteral("Enviar E-mail");
}

Tform_enviar::Tform_enviar(QWidget* owner, const IPeriodEditTexts& period,
                           const platform::TDeploymentConfig& deployment, const QString& applicationTitle)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FPeriod(period), FApplicationTitle(applicationTitle),
      FHistory(app::TSendHistory::ForDeployment(deployment.Roots)),
      FMailDispatch(std::make_unique<app::TMailDispatch>(static_cast<app::IMailDispatchView&>(*this),
                                                         app::TMailSettings::FromDeployment(deployment),
                                                         deployment.Roots))
{
    setObjectName("form_enviar");
    setWindowTitle("Orvant - Envio de Arquivo");
    setFixedSize(241, 260);
    setFont(DesignFont(TDesignFace::dfTahoma, 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Light)); // the 3-D highlight colour
    setPalette(pal);
    setAutoFillBackground(true);

    const QFont labelFont = DesignFont(TDesignFace::dfRoboto, 16);
    const QFont editFont = DesignFont(TDesignFace::dfRoboto, 15);
    lbl1 = Place<QLabel>(this, "lbl1", 32, 19, 154, 19, labelFont);
    lbl1->setText("Digite o nome da loja:");
    edt_loja = Place<QLineEdit>(this, "edt_loja", 8, 44, 221, 26, editFont);
    lbl2 = Place<QLabel>(this, "lbl2", 8, 83, 221, 19, labelFont);
    lbl2->setText("Digite o e-mail de recebimento:");
    edt_email = Place<QLineEdit>(this, "edt_email", 8, 108, 221, 26, editFont);
    Label1 = Place<QLabel>(this, "Label1", 88, 147, 49, 19, labelFont);
    Label1->setText("Anexo");
    edit_anexo = Place<QLineEdit>(this, "edit_anexo", 8, 172, 221, 26, editFont);
    edit_anexo->setEnabled(false);
    btn_email = Place<QPushButton>(this, "btn_email", 8, 212, 221, 34, DesignFont(TDesignFace::dfRoboto, 19));
    btn_email->setText(kButtonCaption);

    lbl_conferencia = Place<QLabel>(this, "lbl_conferencia", 8, 246, 225, 14, font());
    lbl_conferencia->hide();
    // Tab order: edt_loja, edt_email, btn_email, edit_anexo (disabled, so skipped).
    setTabOrder(edt_loja, edt_email);
    setTabOrder(edt_email, btn_email);
    setTabOrder(btn_email, edit_anexo);
    edt_loja->setFocus();

    connect(btn_email, &QPushButton::clicked, this, &Tform_enviar::btn_emailClick);
    FMailDispatch->SetHistory(&FHistory);
}

Tform_enviar::~Tform_enviar() = default;

void Tform_enviar::SetMonthReportNote(const QString& note, const QString& summary)
{
    lbl_conferencia->setText(note);
    lbl_conferencia->setToolTip(summary);
    lbl_conferencia->setVisible(!note.isEmpty());
}

app::TMailDispatchInput Tform_enviar::DispatchInput() const
{
    return {FPeriod.MonthEditText().toStdU16String(), FPeriod.YearEditText().toStdU16String(),
            edt_loja->text().toStdU16String(), edt_email->text().toStdU16String(),
            edit_anexo->text().toStdU16String()};
}

void Tform_enviar::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize frame = frameGeometry().size();
        const app::TPoint origin = app::CentredOrigin(screen->geometry().width(), screen->geometry().height(),
                                                      frame.width(), frame.height());
        move(origin.X, origin.Y);
    }
    QWidget::showEvent(event);
}

void Tform_enviar::CloseAfterDispatch()
{
    FClosingByProgram = true;
    close();
    FClosingByProgram = false;
}

void Tform_enviar::closeEvent(QCloseEvent* event)
{
    // The frame offers no way out: only the mail dispatch closes the dialog.
    if (FClosingByProgram)
        QWidget::closeEvent(event);
    else
        event->ignore();
}

void Tform_enviar::btn_emailClick()
{
    if (FSending)
        return; // called again from within the event loop of one of this send's message boxes
    FSending = true;
    try {
        // The dispatch asks (ConfirmResend) when the history holds the month.
        FMailDispatch->Send(DispatchInput());
    } catch (const std::exception& e) {
        // The dispatch reports its own failures; nothing may escape a slot.
        ShowMessage(QString::fromUtf8(e.what()).toStdU16String());
    }
    FSending = false;
    FShownPercent = -1;
    FPartText.clear();
    btn_email->setText(kButtonCaption);
}

bool Tform_enviar::ConfirmResend(const app::THistoryEntry& previous)
{
    return Ask(QString::fromStdU16String(app::ResendQuestion(previous)));
}

void Tform_enviar::ShowWaiting(std::u16string_view)
{
    // The wait holds the GUI thread (as the send itself does): paint it now.
    btn_email->setText(QStringLiteral("Aguardando outro envio..."));
    btn_email->repaint();
}

bool Tform_enviar::ConfirmCaveat(std::u16string_view caveat)
{
    return Ask(QString::fromStdU16String(std::u16string(caveat)) + QStringLiteral("\n\nEnviar assim mesmo?"));
}

bool Tform_enviar::Ask(const QString& question)
{
    if (OnConfirm)
        return OnConfirm(question);
    QMessageBox box(QMessageBox::Question, FApplicationTitle, question, QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Sim"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Não"));
    box.setDefaultButton(QMessageBox::No);
    const bool yes = box.exec() == QMessageBox::Yes;
    repaint();
    return yes;
}

void Tform_enviar::ShowPart(int part, int parts)
{
    FPartText = QStringLiteral("Parte %1/%2: ").arg(part).arg(parts);
    FShownPercent = -1;
}

void Tform_enviar::ShowMessage(std::u16string_view text)
{
    ShowModalMessage(*this, FApplicationTitle, QString::fromStdU16String(std::u16string(text)), OnShowMessage);
}

void Tform_enviar::ShowProgress(std::uint64_t written, std::uint64_t total)
{
    // The send holds the GUI thread, so the button is painted right here, and only
    // when the figure on it changes.
    const int percent = total ? static_cast<int>(std::min<std::uint64_t>(100, written * 100 / total)) : 0;
    if (percent == FShownPercent)
        return;
    FShownPercent = percent;
    btn_email->setText(FPartText.isEmpty() ? QStringLiteral("Enviando... %1%").arg(percent)
                                           : FPartText + QStringLiteral("%1%").arg(percent));
    btn_email->repaint();
}

void Tform_enviar::CloseDialog()
{
    CloseAfterDispatch();
}

} // namespace orvant::gui
