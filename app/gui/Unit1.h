#pragma once
// The send dialog "Orvant - Envio de Arquivo": the store's name, the recipient's
// address and the (read-only) attachment path, and the "Enviar E-mail" button.
// Modeless, owned by the main window, centred on the primary screen each time it
// is shown; its frame has no button, so only the mail dispatch hides it.

#include "app/MailDispatch.h"
#include "app/SendHistory.h"
#include "platform/DeploymentConfig.h"

#include <QWidget>
#include <functional>
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

// The dialog shows the mail dispatch's messages in modal boxes titled with the
// application's title, its progress on the button, and closes when it says so.
class Tform_enviar : public QWidget, private app::IMailDispatchView {
    Q_OBJECT
public:
    Tform_enviar(QWidget* owner, const IPeriodEditTexts& period, const platform::TDeploymentConfig& deployment,
                 const QString& applicationTitle);
    ~Tform_enviar() override;

    QLabel* lbl1;
    QLineEdit* edt_loja;
    QLabel* lbl2;
    QLineEdit* edt_email;
    QLabel* Label1;
    QLineEdit* edit_anexo;
    QPushButton* btn_email;
    // Under the button, in the window font: what the month's report found, when
    // the dialog was opened by an extraction that made one; hidden otherwise.
    QLabel* lbl_conferencia;
    void SetMonthReportNote(const QString& note, const QString& summary);

    // What btn_emailClick gathers for the dispatch.
    app::TMailDispatchInput DispatchInput() const;

    // The only way the dialog closes (hides): after an accepted delivery. A close
    // request from the window manager (Alt+F4 and the like) is refused.
    void CloseAfterDispatch();

    // The mail components while they exist (tests look at them).
    const app::TMailDispatch& MailDispatch() const { return *FMailDispatch; }

    // Test seams: a replacement for the modal message box, and for the yes/no
    // questions (a month again to the same address, an incomplete month).
    std::function<void(const QString&)> OnShowMessage;
    std::function<bool(const QString&)> OnConfirm;

public slots:
    void btn_emailClick();

protected:
    void showEvent(QShowEvent* event) override; // FormShow
    void closeEvent(QCloseEvent* event) override;

private:
    // IMailDispatchView
    void ShowMessage(std::u16string_view text) override;
    void ShowProgress(std::uint64_t written, std::uint64_t total) override;
    void CloseDialog() override;
    void ShowPart(int part, int parts) override;
    bool ConfirmCaveat(std::u16string_view caveat) override;
    // The month already went to this address: "Enviar novamente?"
    bool ConfirmResend(const app::THistoryEntry& previous) override;
    // Another send holds the history: the button says so while this one waits.
    void ShowWaiting(std::u16string_view text) override;
    // A yes/no box titled with the application's title, "Não" the default.
    bool Ask(const QString& question);

    const IPeriodEditTexts& FPeriod;
    QString FApplicationTitle;
    app::TSendHistory FHistory;
    std::unique_ptr<app::TMailDispatch> FMailDispatch;
    QString FPartText;
    bool FClosingByProgram = false;
    bool FSending = false;
    int FShownPercent = -1;
};

} // namespace orvant::gui
