#include "app/gui/Unit1.h"

#include "app/WindowPlacement.h"
#include "app/gui/DesignFonts.h"
#include "app/gui/Place.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace orvant::gui {

Tform_enviar::Tform_enviar(QWidget* owner, const IPeriodEditTexts& period)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FPeriod(period), FMailDispatch(std::make_unique<app::TMailDispatch>())
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
    btn_email->setText("Enviar E-mail");

    // Tab order: edt_loja, edt_email, btn_email, edit_anexo (disabled, so skipped).
    setTabOrder(edt_loja, edt_email);
    setTabOrder(edt_email, btn_email);
    setTabOrder(btn_email, edit_anexo);
    edt_loja->setFocus();

    connect(btn_email, &QPushButton::clicked, this, &Tform_enviar::btn_emailClick);
}

Tform_enviar::~Tform_enviar() = default;

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
    FMailDispatch->Send(DispatchInput());
}

} // namespace orvant::gui
