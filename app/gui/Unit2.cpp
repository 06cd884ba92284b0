#include "app/gui/Unit2.h"

#include "app/ArchiveCheck.h"
#include "app/DefaultPeriod.h"
#include "app/PeriodSelection.h"
#include "app/SendHistory.h"
#include "app/TerminalConfig.h"
#include "app/gui/DesignFonts.h"
#include "app/gui/ModalMessage.h"
#include "app/gui/Place.h"
#include "platform/WinFileSystem.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionProgressBar>
#include <exception>

namespace orvant::gui {

namespace {

QComboBox* EditableList(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    auto* list = Place<QComboBox>(parent, name, left, top, width, height,
                                  DesignFont(TDesignFace::dfSegoeUI, 15, true));
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert); // typing never adds entries
    // Typing into the edit field leaves no entry selected, so the selected-entry
    // reading and the edit-field reading part ways as on Windows.
    QObject::connect(list->lineEdit(), &QLineEdit::textEdited, list, [list](const QString& text) {
        if (list->currentIndex() < 0)
            return;
        const QSignalBlocker block(list);
        const int cursor = list->lineEdit()->cursorPosition();
        list->setCurrentIndex(-1);
        list->setEditText(text);
        list->lineEdit()->setCursorPosition(cursor);
    });
    return list;
}

} // namespace

void TProgressBar::initStyleOption(QStyleOptionProgressBar* option) const
{
    QProgressBar::initStyleOption(option);
    if (option->minimum == 0 && option->maximum == 0)
        option->maximum = 1;
}

TForm_Extrair::TForm_Extrair(const platform::TDeploymentConfig& deployment, const platform::IClock& clock,
                             const QString& applicationTitle, QWidget* parent)
    : QWidget(parent), FDeployment(deployment), FApplicationTitle(applicationTitle),
      FProcessRunner(std::make_unique<platform::TSpawnProcessRunner>(deployment.ArchiverTimeLimit))
{
    setObjectName("Form_Extrair");
    setWindowTitle("Orvant - Extrair XML");
    resize(334, 221);
    setFont(DesignFont(TDesignFace::dfTahoma, 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button)); // button face
    setPalette(pal);
    setAutoFillBackground(true);

    const QFont labelFont = DesignFont(TDesignFace::dfSegoeUI, 19, true);
    const QFont buttonFont = DesignFont(TDesignFace::dfSegoeUI, 15, true);
    Lbl_Ano = Place<QLabel>(this, "Lbl_Ano", 8, 24, 148, 25, labelFont);
    Lbl_Ano->setText("Selecione o Ano:");
    lbl_Mes = Place<QLabel>(this, "lbl_Mes", 8, 64, 147, 25, labelFont);
    lbl_Mes->setText("Selecione o Mês:");
    Cb_Ano = EditableList(this, "Cb_Ano", 162, 25, 159, 28);
    Cb_Mes = EditableList(this, "Cb_Mes", 161, 65, 160, 28);
    for (auto name : app::kMonthNames)
        Cb_Mes->addItem(QString::fromStdU16String(std::u16string(name)));
    Btn_Extrair = Place<QPushButton>(this, "Btn_Extrair", 8, 120, 148, 41, buttonFont);
    Btn_Extrair->setText("Extrair XML");
    ProgressBar1 = Place<TProgressBar>(this, "ProgressBar1", 8, 176, 313, 25, font());
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    QPalette barPalette = ProgressBar1->palette();
    barPalette.setColor(QPalette::Highlight, Qt::black);
    ProgressBar1->setPalette(barPalette);
    Btn_Enviar = Place<QPushButton>(this, "Btn_Enviar", 176, 120, 145, 41, buttonFont);
    Btn_Enviar->setText("Enviar XML");
    // A point smaller than the window font: the summary is long, and the strip
    // under the bar is all the designed window has left.
    Lbl_Resumo = Place<QLabel>(this, "Lbl_Resumo", 8, 203, 318, 16, DesignFont(TDesignFace::dfTahoma, 10));
    Lbl_Resumo->hide();

    setTabOrder(Cb_Ano, Cb_Mes);
    setTabOrder(Cb_Mes, Btn_Extrair);
    setTabOrder(Btn_Extrair, ProgressBar1);
    setTabOrder(ProgressBar1, Btn_Enviar);

    for (QComboBox* list : {Cb_Ano, Cb_Mes})
        connect(list->lineEdit(), &QLineEdit::editingFinished, this, [this, list] { SelectTypedEntry(list); });
    connect(Btn_Extrair, &QPushButton::clicked, this, &TForm_Extrair::Btn_ExtrairClick);
    connect(Btn_Enviar, &QPushButton::clicked, this, &TForm_Extrair::Btn_EnviarClick);
    FormCreate(clock);
}

TForm_Extrair::~TForm_Extrair() = default;

void TForm_Extrair::FormCreate(const platform::IClock& clock)
{
    const app::TDefaultPeriod period = app::DefaultPeriod(clock.Now());
    Cb_Ano->clear();
    for (const auto& year : period.YearEntries)
        Cb_Ano->addItem(QString::fromStdU16String(year));
    Cb_Ano->setCurrentIndex(period.YearIndex);
    Cb_Mes->setCurrentIndex(period.MonthIndex);
}

QString TForm_Extrair::SelectedText(const QComboBox* list)
{
    return list->currentIndex() >= 0 ? list->itemText(list->currentIndex()) : QString();
}

std::vector<std::u16string> TForm_Extrair::YearEntries() const
{
    std::vector<std::u16string> years;
    for (int i = 0; i < Cb_Ano->count(); ++i)
        years.push_back(Cb_Ano->itemText(i).toStdU16String());
    return years;
}

bool TForm_Extrair::SelectTypedEntry(QComboBox* list)
{
    if (list->currentIndex() >= 0)
        return true;
    const std::u16string typed = list->currentText().toStdU16String();
    const int index = list == Cb_Mes ? app::MonthIndexOf(typed) : app::YearIndexOf(typed, YearEntries());
    if (index < 0)
        return false;
    list->setCurrentIndex(index); // the edit field then shows the entry's own text
    return true;
}

QString TForm_Extrair::MonthEditText() const { return Cb_Mes->currentText(); }
QString TForm_Extrair::YearEditText() const { return Cb_Ano->currentText(); }

void TForm_Extrair::SetProcessRunner(std::unique_ptr<platform::IProcessRunner> runner)
{
    FProcessRunner = std::move(runner);
}

Tform_enviar* TForm_Extrair::CreateSendDialog(const QString& attachmentPath)
{
    // Owned by this window; replacing the reference leaves earlier dialogs open.
    auto* dialog = new Tform_enviar(this, *this, FDeployment, FApplicationTitle);
    Fform_enviar = dialog;
    dialog->edit_anexo->setText(attachmentPath);
    dialog->edit_anexo->setCursorPosition(0); // show the drive, not the tail, of a long path
    dialog->show();
    return dialog;
}

void TForm_Extrair::Btn_EnviarClick()
{
    CreateSendDialog(QString());
}

void TForm_Extrair::Btn_ExtrairClick()
{
    if (FRunDone)
        return; // one run per start of the program
    // Typed text that names no entry is refused before any file is touched.
    if (!SelectTypedEntry(Cb_Ano)) {
        ShowModalMessage(QString::fromStdU16String(app::YearRefusal(Cb_Ano->currentText().toStdU16String(),
                                                                    YearEntries())
                                                   + u" Nada foi extraído."));
        return;
    }
    if (!SelectTypedEntry(Cb_Mes)) {
        ShowModalMessage(QString::fromStdU16String(app::MonthRefusal(Cb_Mes->currentText().toStdU16String())
                                                   + u" Nada foi extraído."));
        return;
    }
    FRunDone = true;
    try {
        const platform::TWinFileSystem fileSystem(FDeployment.Roots);
        app::TArchiveStep archiveStep(fileSystem, *FProcessRunner);
        app::TExtractionRun run(*this, fileSystem, archiveStep);
        app::TArchiveCheck check(fileSystem, *FProcessRunner, archiveStep.Archiver());
        const app::TSendHistory history = app::TSendHistory::ForDeployment(FDeployment.Roots);
        run.SetArchiveCheck(check, &history);
        run.SetMonthReport(FDeployment.StoreCnpjs);
        const app::TExtractionSummary summary =
            run.Execute(SelectedText(Cb_Ano).toStdU16String(), SelectedText(Cb_Mes).toStdU16String());
        if (summary.Refused) {
            // Nothing was extracted (another run holds the month, say): the user may try again.
            FRunDone = false;
            SetExtractButton(true, u"Extrair XML");
        }
    } catch (const std::exception& e) {
        // Nothing may escape a slot; the button stays disabled as after any run.
        ShowModalMessage(QString::fromUtf8(e.what()));
    }
}

void TForm_Extrair::ShowModalMessage(const QString& text)
{
    gui::ShowModalMessage(*this, FApplicationTitle, text, OnShowMessage);
}

void TForm_Extrair::SetExtractButton(bool enabled, std::u16string_view caption)
{
    Btn_Extrair->setEnabled(enabled);
    Btn_Extrair->setText(QString::fromStdU16String(std::u16string(caption)));
    Btn_Extrair->repaint();
}

void TForm_Extrair::SetProgressRange(int maximum)
{
    ProgressBar1->setRange(0, maximum);
    ProgressBar1->setValue(0);
    FPaintedFill = 0;
    ProgressBar1->repaint();
}

void TForm_Extrair::SetProgressPosition(int position)
{
    ProgressBar1->setValue(position);
    // The run holds the GUI thread, so the bar is painted right here; only when
    // its filled width changes, so a pass of thousands of files stays cheap.
    const int maximum = ProgressBar1->maximum();
    const int fill = maximum > 0 ? static_cast<int>(static_cast<long long>(ProgressBar1->value())
                                                    * ProgressBar1->width() / maximum) : 0;
    if (fill != FPaintedFill) {
        FPaintedFill = fill;
        ProgressBar1->repaint();
    }
}

void TForm_Extrair::ShowMessage(std::u16string_view text)
{
    ShowModalMessage(QString::fromStdU16String(std::u16string(text)));
}

void TForm_Extrair::OpenSendDialog(std::u16string_view attachmentPath)
{
    CreateSendDialog(QString::fromStdU16String(std::u16string(attachmentPath)))
        ->SetMonthReportNote(FMonthReportNote, FMonthReportSummary);
}

void TForm_Extrair::ShowMonthReport(const app::TMonthReport& report, std::u16string_view summaryPath)
{
    const std::size_t problems = report.Problems.size();
    if (problems)
        ShowMessage(app::MonthReportMessage(report, summaryPath));
    const QString text = QString::fromStdU16String(report.Summary());
    // One line: a summary wider than the window is cut with an ellipsis and
    // shown whole as the tooltip.
    Lbl_Resumo->setText(Lbl_Resumo->fontMetrics().elidedText(text, Qt::ElideRight, Lbl_Resumo->width()));
    Lbl_Resumo->setToolTip(text);
    Lbl_Resumo->show();
    Lbl_Resumo->repaint();
    FMonthReportNote = problems == 0 ? QStringLiteral("Conferência: nenhum problema")
                                     : QStringLiteral("Conferência: %1 problema%2")
                                           .arg(problems)
                                           .arg(problems == 1 ? "" : "s");
    FMonthReportSummary = text;
}

} // namespace orvant::gui
