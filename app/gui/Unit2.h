#pragma once
// The main window "Orvant - Extrair XML": year and month lists, "Extrair XML"
// (the monthly extraction run, once per start of the program), its progress bar,
// and "Enviar XML", which opens one more send dialog on each press.

#include "app/ExtractionRun.h"
#include "app/gui/Unit1.h"
#include "platform/Clock.h"
#include "platform/DeploymentConfig.h"
#include "platform/Process.h"

#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;

namespace orvant::gui {

// Draws an empty range (0 to 0) as an empty bar, as the designed bar does, not as
// Qt's animated "busy" indicator.
class TProgressBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;
protected:
    void initStyleOption(QStyleOptionProgressBar* option) const override;
};

class TForm_Extrair : public QWidget, public IPeriodEditTexts, private app::IExtractionView {
    Q_OBJECT
public:
    TForm_Extrair(const platform::TDeploymentConfig& deployment, const platform::IClock& clock,
                  const QString& applicationTitle, QWidget* parent = nullptr);
    ~TForm_Extrair() override;

    QLabel* Lbl_Ano;
    QLabel* lbl_Mes;
    QComboBox* Cb_Ano;
    QComboBox* Cb_Mes;
    QPushButton* Btn_Extrair;
    TProgressBar* ProgressBar1;
    QPushButton* Btn_Enviar;
    // Below the bar, in the window font: the month report's summary after a run.
    QLabel* Lbl_Resumo;

    // The current send dialog: the latest one created (earlier ones stay open).
    Tform_enviar* form_enviar() const { return Fform_enviar; }

    // The two readings of a list: the selected entry ("" when none) and the edit field.
    static QString SelectedText(const QComboBox* list);
    QString MonthEditText() const override;
    QString YearEditText() const override;

    const QString& ApplicationTitle() const { return FApplicationTitle; }

    // Test seams: a replacement for the modal message box, and for the process
    // starter used by the archive step.
    std::function<void(const QString&)> OnShowMessage;
    void SetProcessRunner(std::unique_ptr<platform::IProcessRunner> runner);

public slots:
    void Btn_ExtrairClick();
    void Btn_EnviarClick();

private:
    void FormCreate(const platform::IClock& clock);
    // A list whose typed text names one of its entries ("marco", "3", " 2025 ")
    // gets that entry selected; true when an entry is selected afterwards.
    bool SelectTypedEntry(QComboBox* list);
    std::vector<std::u16string> YearEntries() const;
    Tform_enviar* CreateSendDialog(const QString& attachmentPath);
    void ShowModalMessage(const QString& text);

    // IExtractionView
    void SetExtractButton(bool enabled, std::u16string_view caption) override;
    void SetProgressRange(int maximum) override;
    void SetProgressPosition(int position) override;
    void ShowMessage(std::u16string_view text) override;
    void OpenSendDialog(std::u16string_view attachmentPath) override;
    void ShowMonthReport(const app::TMonthReport& report, std::u16string_view summaryPath) override;

    platform::TDeploymentConfig FDeployment;
    QString FApplicationTitle;
    std::unique_ptr<platform::IProcessRunner> FProcessRunner;
    QPointer<Tform_enviar> Fform_enviar;
    bool FRunDone = false;
    QString FMonthReportNote;    // for the send dialog the run opens
    QString FMonthReportSummary; // its tooltip
    int FPaintedFill = -1; // filled pixels last painted, to repaint only on change
};

} // namespace orvant::gui
