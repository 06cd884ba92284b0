#pragma once
// The send dialog "Orvant - Envio de Arquivo": the store's name, the recipient's
// address and the (read-only) attachment path, and the "Enviar E-mail" button.
// Modeless, owned by the main window, centred on the primary screen each time it
// is shown; its frame has no button, so only the mail dispatch hides it.

#include "app/MailDispatch.h"

#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvant::gui {

// The main window's month and year edit texts, read when the mail is sent.
class IPeriodEditTexts {
public:
    virtual ~IPeriodEditTexts() = default;
    virtual QString MonthEditText() const = 0;
    virtual QString YearEditText() const = 0;
};

class Tform_enviar : public QWidget {
    Q_OBJECT
public:
    Tform_enviar(QWidget* owner, const IPeriodEditTexts& period);
    ~Tform_enviar() override;

    QLabel* lbl1;
    QLineEdit* edt_loja;
    QLabel* lbl2;
    QLineEdit* edt_email;
    QLabel* Label1;
    QLineEdit* edit_anexo;
    QPushButton* btn_email;

    // What btn_emailClick gathers for the dispatch.
    app::TMailDispatchInput DispatchInput() const;

    // The only way the dialog closes (hides): after a delivery attempt. A close
    // request from the window manager (Alt+F4 and the like) is refused.
    void CloseAfterDispatch();

protected:
    void showEvent(QShowEvent* event) override; // FormShow
    void closeEvent(QCloseEvent* event) override;

private slots:
    void btn_emailClick();

private:
    const IPeriodEditTexts& FPeriod;
    std::unique_ptr<app::TMailDispatch> FMailDispatch;
    bool FClosingByProgram = false;
};

} // namespace orvant::gui
