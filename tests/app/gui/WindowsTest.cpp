#include "app/gui/Unit1.h"
#include "app/MonthManifest.h"
#include "app/gui/Unit2.h"

#include "app/WindowPlacement.h"
#include "support/StoreFixture.h"

#include <QApplication>
#include <cstdlib>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvant::gui;
using orvant::platform::LocalDate;
using orvant::platform::TFixedClock;

namespace {

struct TWindowUnderTest {
    explicit TWindowUnderTest(const orvant::platform::TLocalDateTime& today = LocalDate(2026, 12, 8),
                              orvant::platform::TWinPathRoots roots = {"/nonexistent/c", "/nonexistent/unc"})
        : Clock(today)
    {
        orvant::platform::TDeploymentConfig config;
        config.Roots = std::move(roots);
        Window = std::make_unique<TForm_Extrair>(config, Clock, "Orvant");
    }
    TFixedClock Clock;
    std::unique_ptr<TForm_Extrair> Window;
};

void ExpectGeometry(const QWidget* w, int left, int top, int width, int height)
{
    EXPECT_EQ(w->geometry(), QRect(left, top, width, height)) << w->objectName().toStdString();
}

void ExpectFont(const QWidget* w, const char* family, int pixels, bool bold)
{
    EXPECT_EQ(w->font().families().value(0), family) << w->objectName().toStdString();
    EXPECT_EQ(w->font().pixelSize(), pixels) << w->objectName().toStdString();
    EXPECT_EQ(w->font().bold(), bold) << w->objectName().toStdString();
}

std::vector<QWidget*> FocusChain(QWidget* first, int steps)
{
    std::vector<QWidget*> chain;
    QWidget* w = first;
    for (int i = 0; i < steps; ++i) {
        chain.push_back(w);
        do {
            w = w->nextInFocusChain();
            // An editable list's own edit field is part of the list, not a stop of its own.
        } while (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled()
                 || qobject_cast<QComboBox*>(w->parentWidget()));
    }
    return chain;
}

} // namespace

TEST(MainWindow, LayoutTextsAndFonts)
{
    TWindowUnderTest t;
    TForm_Extrair& w = *t.Window;
    EXPECT_EQ(w.windowTitle(), "Orvant - Extrair XML");
    EXPECT_EQ(w.size(), QSize(334, 221));
    ExpectFont(&w, "Tahoma", 11, false);
    ExpectGeometry(w.Lbl_Ano, 8, 24, 148, 25);
    ExpectGeometry(w.lbl_Mes, 8, 64, 147, 25);
    ExpectGeometry(w.Cb_Ano, 162, 25, 159, 28);
    ExpectGeometry(w.Cb_Mes, 161, 65, 160, 28);
    ExpectGeometry(w.Btn_Extrair, 8, 120, 148, 41);
    ExpectGeometry(w.ProgressBar1, 8, 176, 313, 25);
    ExpectGeometry(w.Btn_Enviar, 176, 120, 145, 41);
    EXPECT_EQ(w.Lbl_Ano->text(), "Selecione o Ano:");
    EXPECT_EQ(w.lbl_Mes->text(), "Selecione o Mês:");
    EXPECT_EQ(w.Btn_Extrair->text(), "Extrair XML");
    EXPECT_EQ(w.Btn_Enviar->text(), "Enviar XML");
    for (QWidget* label : {static_cast<QWidget*>(w.Lbl_Ano), static_cast<QWidget*>(w.lbl_Mes)})
        ExpectFont(label, "Segoe UI", 19, true);
    for (QWidget* c : {static_cast<QWidget*>(w.Cb_Ano), static_cast<QWidget*>(w.Cb_Mes),
                       static_cast<QWidget*>(w.Btn_Extrair), static_cast<QWidget*>(w.Btn_Enviar)})
        ExpectFont(c, "Segoe UI", 15, true);
    ExpectFont(w.ProgressBar1, "Tahoma", 11, false);
    EXPECT_EQ(w.ProgressBar1->minimum(), 0);
    EXPECT_EQ(w.ProgressBar1->maximum(), 100);
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_TRUE(w.Cb_Ano->isEditable());
    ASSERT_EQ(w.Cb_Mes->count(), 12);
    EXPECT_EQ(w.Cb_Mes->itemText(2), "Março");
    EXPECT_EQ(w.Cb_Mes->itemText(11), "Dezembro");
    EXPECT_EQ(FocusChain(w.Cb_Ano, 5), (std::vector<QWidget*> {w.Cb_Ano, w.Cb_Mes, w.Btn_Extrair, w.Btn_Enviar, w.Cb_Ano}));
    EXPECT_EQ(w.form_enviar(), nullptr);
}

TEST(MainWindow, DefaultYearAndMonthFromTheLocalDate)
{
    TWindowUnderTest december(LocalDate(2026, 12, 8));
    const QComboBox* years = december.Window->Cb_Ano;
    ASSERT_EQ(years->count(), 5);
    EXPECT_EQ(years->itemText(0), "2026");
    EXPECT_EQ(years->itemText(4), "2022");
    EXPECT_EQ(TForm_Extrair::SelectedText(years), "2026");
    EXPECT_EQ(TForm_Extrair::SelectedText(december.Window->Cb_Mes), "Novembro");

    TWindowUnderTest january(LocalDate(2027, 1, 20));
    EXPECT_EQ(TForm_Extrair::SelectedText(january.Window->Cb_Ano), "2027");
    EXPECT_EQ(TForm_Extrair::SelectedText(january.Window->Cb_Mes), "Dezembro");
    TWindowUnderTest february(LocalDate(2027, 2, 1));
    EXPECT_EQ(TForm_Extrair::SelectedText(february.Window->Cb_Mes), "Janeiro");
}

TEST(MainWindow, TypingGivesAnEditTextWithoutASelectedEntry)
{
    TWindowUnderTest t;
    TForm_Extrair& w = *t.Window;
    w.show();
    w.Cb_Mes->lineEdit()->selectAll();
    QTest::keyClicks(w.Cb_Mes->lineEdit(), "Mes 13");
    EXPECT_EQ(w.MonthEditText(), "Mes 13");
    EXPECT_EQ(TForm_Extrair::SelectedText(w.Cb_Mes), "");
    EXPECT_EQ(w.Cb_Mes->count(), 12);
    w.Cb_Mes->setCurrentIndex(2); // picking an entry selects it again
    EXPECT_EQ(TForm_Extrair::SelectedText(w.Cb_Mes), "Março");
    EXPECT_EQ(w.MonthEditText(), "Março");
    EXPECT_EQ(w.YearEditText(), "2026");
}

// Typed text that names an entry selects it when the field is left; anything else
// is refused by "Extrair XML" before a file is touched, and the button stays.
TEST(MainWindow, TypedYearAndMonthSelectTheirEntryOrAreRefused)
{
    orvant::test::TStoreFixture store;
    store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    TWindowUnderTest t(LocalDate(2026, 12, 8), store.Roots());
    TForm_Extrair& w = *t.Window;
    QStringList messages;
    w.OnShowMessage = [&](const QString& m) { messages << m; };
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // Typed as keys (non-ASCII letters too), then Tab to leave the field.
    const auto type = [&](QComboBox* list, const QString& text) {
        list->lineEdit()->setFocus();
        list->lineEdit()->selectAll();
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(list->lineEdit(), &key);
        QTest::keyClick(list->lineEdit(), Qt::Key_Tab);
    };
    for (const char* march : {"marco", "MARÇO", "3", " 03 "}) {
        type(w.Cb_Mes, march);
        EXPECT_EQ(w.Cb_Mes->currentIndex(), 2) << march;
        EXPECT_EQ(w.MonthEditText(), "Março");
    }
    type(w.Cb_Ano, "2025");
    EXPECT_EQ(TForm_Extrair::SelectedText(w.Cb_Ano), "2025");

    type(w.Cb_Mes, "Marçoo");
    EXPECT_EQ(w.Cb_Mes->currentIndex(), -1);
    QTest::mouseClick(w.Btn_Extrair, Qt::LeftButton);
    type(w.Cb_Mes, "Abril");
    type(w.Cb_Ano, "2019");
    QTest::mouseClick(w.Btn_Extrair, Qt::LeftButton);
    EXPECT_EQ(messages, (QStringList {
        "O mês \"Marçoo\" não existe. Escolha um mês na lista ou digite o nome (Março ou Marco) ou o número (1 a "
        "12). Nada foi extraído.",
        "O ano \"2019\" não está na lista. Escolha ou digite um destes: 2026, 2025, 2024, 2023 ou 2022. Nada foi "
        "extraído."}));
    EXPECT_TRUE(w.Btn_Extrair->isEnabled());
    EXPECT_EQ(w.Btn_Extrair->text(), "Extrair XML");
    EXPECT_EQ(w.form_enviar(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(store.DriveC() / "Kelmora/Orvant"));
}

TEST(SendDialog, ThreePressesOpenThreeDialogsAndTheLastIsCurrent)
{
    TWindowUnderTest t;
    TForm_Extrair& w = *t.Window;
    w.show();
    std::vector<Tform_enviar*> dialogs;
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(w.Btn_Enviar, Qt::LeftButton);
        dialogs.push_back(w.form_enviar());
    }
    EXPECT_EQ(w.findChildren<Tform_enviar*>().size(), 3);
    EXPECT_NE(dialogs[0], dialogs[1]);
    EXPECT_NE(dialogs[1], dialogs[2]);
    EXPECT_EQ(w.form_enviar(), dialogs[2]);
    for (auto* d : dialogs) {
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->parent(), &w); // owned by the main window, destroyed with it
        EXPECT_EQ(d->edit_anexo->text(), "");
    }
    EXPECT_TRUE(w.Btn_Enviar->isEnabled());
}

TEST(SendDialog, LayoutFrameAndCentring)
{
    TWindowUnderTest t;
    t.Window->show();
    t.Window->Btn_EnviarClick();
    Tform_enviar& d = *t.Window->form_enviar();
    EXPECT_EQ(d.windowTitle(), "Orvant - Envio de Arquivo");
    EXPECT_EQ(d.size(), QSize(241, 260));
    EXPECT_EQ(d.minimumSize(), d.maximumSize()); // fixed frame
    const Qt::WindowFlags flags = d.windowFlags();
    EXPECT_TRUE(flags & Qt::Dialog);
    EXPECT_FALSE(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowMaximizeButtonHint));
    ExpectFont(&d, "Tahoma", 11, false);
    ExpectGeometry(d.lbl1, 32, 19, 154, 19);
    ExpectGeometry(d.edt_loja, 8, 44, 221, 26);
    ExpectGeometry(d.lbl2, 8, 83, 221, 19);
    ExpectGeometry(d.edt_email, 8, 108, 221, 26);
    ExpectGeometry(d.Label1, 88, 147, 49, 19);
    ExpectGeometry(d.edit_anexo, 8, 172, 221, 26);
    ExpectGeometry(d.btn_email, 8, 212, 221, 34);
    EXPECT_EQ(d.lbl1->text(), "Digite o nome da loja:");
    EXPECT_EQ(d.lbl2->text(), "Digite o e-mail de recebimento:");
    EXPECT_EQ(d.Label1->text(), "Anexo");
    EXPECT_EQ(d.btn_email->text(), "Enviar E-mail");
    for (QWidget* label : {static_cast<QWidget*>(d.lbl1), static_cast<QWidget*>(d.lbl2), static_cast<QWidget*>(d.Label1)})
        ExpectFont(label, "Roboto", 16, false);
    for (QWidget* edit : {static_cast<QWidget*>(d.edt_loja), static_cast<QWidget*>(d.edt_email), static_cast<QWidget*>(d.edit_anexo)})
        ExpectFont(edit, "Roboto", 15, false);
    ExpectFont(d.btn_email, "Roboto", 19, false);
    EXPECT_FALSE(d.edit_anexo->isEnabled());
    EXPECT_EQ(FocusChain(d.edt_loja, 4), (std::vector<QWidget*> {d.edt_loja, d.edt_email, d.btn_email, d.edt_loja}));

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const auto origin = orvant::app::CentredOrigin(screen.width(), screen.height(),
                                                   d.frameGeometry().width(), d.frameGeometry().height());
    EXPECT_EQ(d.frameGeometry().topLeft(), QPoint(origin.X, origin.Y));
}

TEST(SendDialog, CannotBeClosedFromItsFrame)
{
    TWindowUnderTest t;
    t.Window->show();
    t.Window->Btn_EnviarClick();
    Tform_enviar* d = t.Window->form_enviar();
    EXPECT_FALSE(d->close()); // what the window manager's close request does
    EXPECT_TRUE(d->isVisible());
    QTest::keyClick(d->edt_loja, Qt::Key_Escape);
    EXPECT_TRUE(d->isVisible());
    d->CloseAfterDispatch(); // hidden, not destroyed
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(t.Window->form_enviar(), d);
}

TEST(SendDialog, HandsTheEditTextsToTheMailDispatch)
{
    TWindowUnderTest t;
    t.Window->Btn_EnviarClick();
    Tform_enviar* d = t.Window->form_enviar();
    t.Window->Cb_Mes->setEditText("Março");
    t.Window->Cb_Ano->setEditText("2021");
    d->edt_loja->setText("Loja Centro");
    d->edt_email->setText("Contador <contador@exemplo.com.br>");
    const auto input = d->DispatchInput();
    EXPECT_EQ(input.MonthEditText, u"Março");
    EXPECT_EQ(input.YearEditText, u"2021");
    EXPECT_EQ(input.StoreName, u"Loja Centro");
    EXPECT_EQ(input.Recipient, u"Contador <contador@exemplo.com.br>");
    EXPECT_EQ(input.AttachmentPath, u"");
    QStringList messages;
    d->OnShowMessage = [&](const QString& m) { messages << m; };
    QTest::mouseClick(d->btn_email, Qt::LeftButton); // this deployment names no mail server
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("O servidor de e-mail não está configurado")) << messages[0].toStdString();
    EXPECT_TRUE(d->isVisible());
}

TEST(MainWindow, ExtractRunsOnceAndHandsTheArchiveToANewDialog)
{
    orvant::test::TStoreFixture store;
    store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    store.AddInvoices("CAIXA01", "Transmitidas", "202611", 3);
    TWindowUnderTest t(LocalDate(2026, 12, 8), store.Roots());
    TForm_Extrair& w = *t.Window;
    QStringList messages;
    std::vector<int> barAtMessage;
    w.OnShowMessage = [&](const QString& m) {
        messages << m;
        barAtMessage.push_back(w.ProgressBar1->maximum());
    };
    w.show();
    QTest::mouseClick(w.Btn_Extrair, Qt::LeftButton);

    EXPECT_FALSE(w.Btn_Extrair->isEnabled());
    EXPECT_EQ(w.Btn_Extrair->text(), "Extraindo...");
    EXPECT_EQ(messages, QStringList {"Sem notas Canceladas do PDV1 para Servidor"}); // a sound month: no box
    EXPECT_TRUE(w.Lbl_Resumo->isVisible());
    EXPECT_EQ(w.Lbl_Resumo->toolTip(), "Mês conferido: 1 PDV, 3 notas, R$ 30,00; nenhum problema");
    EXPECT_EQ(w.ProgressBar1->maximum(), 0); // the cancelled pass left range 0, position 0
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    ASSERT_NE(w.form_enviar(), nullptr);
    EXPECT_EQ(w.form_enviar()->edit_anexo->text(), "C:\\Kelmora\\Orvant\\Enviar\\2026\\11.7z");
    EXPECT_FALSE(w.form_enviar()->edit_anexo->isEnabled());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(store.Staging("2026", "11", "PDV1", "Transmitidas")),
                            std::filesystem::directory_iterator()), 3);

    const auto manifest = orvant::app::ReadManifestFile(
        (store.DriveC() / "Kelmora/Orvant/Enviar/2026/11-manifesto.txt").string());
    ASSERT_TRUE(manifest.has_value());
    EXPECT_TRUE(manifest->Seal.has_value()) << "the real 7-Zip packed and the check sealed it";

    w.Btn_ExtrairClick(); // even called directly, a second run does not happen
    EXPECT_EQ(w.findChildren<Tform_enviar*>().size(), 1);
    EXPECT_FALSE(std::filesystem::exists(store.DriveC() / "Kelmora/Orvant/Enviar/2026/anteriores"));
}

// A month with a gap: the problems come in a box first, the summary stays below the
// bar inside the designed client area, and the dialog the run opens says how many.
TEST(MainWindow, TheMonthReportBelowTheBarAndInTheDialog)
{
    orvant::test::TStoreFixture store;
    store.WriteConfig({"PDV1=TRUE", "PDV1_COMPUTADOR=CAIXA01"});
    const auto names = store.AddInvoices("CAIXA01", "Transmitidas", "202611", 4);
    store.AddInvoices("CAIXA01", "Canceladas", "202611", 1);
    std::filesystem::remove(store.SourceFolder("CAIXA01", "Transmitidas", "202611") / names[2]);
    TWindowUnderTest t(LocalDate(2026, 12, 8), store.Roots());
    TForm_Extrair& w = *t.Window;
    QStringList messages;
    w.OnShowMessage = [&](const QString& m) { messages << m; };
    w.show();
    EXPECT_FALSE(w.Lbl_Resumo->isVisible());
    QTest::mouseClick(w.Btn_Extrair, Qt::LeftButton);

    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Mês conferido: 1 PDV, 2 notas, R$ 20,00; 1 problema.\n- PDV1, série 1: falta "
                                       "a nota 3 entre a primeira (1) e a última (4) do mês."))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("C:\\Kelmora\\Orvant\\Enviar\\2026\\11-resumo.txt"));
    EXPECT_EQ(w.Lbl_Resumo->toolTip(), "Mês conferido: 1 PDV, 2 notas, R$ 20,00; 1 problema");
    EXPECT_EQ(w.Lbl_Resumo->geometry(), QRect(8, 203, 318, 16));
    EXPECT_TRUE(QRect(QPoint(0, 0), w.size()).contains(w.Lbl_Resumo->geometry()));
    EXPECT_FALSE(w.Lbl_Resumo->geometry().intersects(w.ProgressBar1->geometry()));
    ASSERT_NE(w.form_enviar(), nullptr);
    const QLabel* note = w.form_enviar()->lbl_conferencia;
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), "Conferência: 1 problema");
    EXPECT_EQ(note->toolTip(), "Mês conferido: 1 PDV, 2 notas, R$ 20,00; 1 problema");
    EXPECT_TRUE(QRect(QPoint(0, 0), w.form_enviar()->size()).contains(note->geometry()));
    EXPECT_FALSE(note->geometry().intersects(w.form_enviar()->btn_email->geometry()));

    w.Btn_EnviarClick(); // a dialog of its own says nothing of the month
    EXPECT_FALSE(w.form_enviar()->lbl_conferencia->isVisible());
}

// The sample store's month, as the demo extracts it: the box names its three
// planted problems, terminal by terminal, and PDV2's voided numbers are none.
TEST(MainWindow, TheSampleStoreMonthShowsItsProblems)
{
    orvant::test::TTempDir dir;
    const std::string command = "python3 " ORVANT_SOURCE_DIR "/scripts/make-sample-store " + dir.Str()
        + " --month 2026-11 --scale 0.1 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    TWindowUnderTest t(LocalDate(2026, 12, 8), {dir.Str() + "/drive_c", dir.Str() + "/unc"});
    TForm_Extrair& w = *t.Window;
    QStringList messages;
    w.OnShowMessage = [&](const QString& m) { messages << m; };
    w.show();
    QTest::mouseClick(w.Btn_Extrair, Qt::LeftButton);

    ASSERT_EQ(messages.size(), 2) << messages.join("\n").toStdString();
    EXPECT_EQ(messages[0], "Sem notas Canceladas do PDV4 para Servidor");
    const QStringList lines = messages[1].split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith("Mês conferido: 4 PDVs, ") && lines[0].endsWith("; 3 problemas."))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("- PDV1, série 1: faltam as notas ") && lines[1].contains("(2 números)"));
    EXPECT_TRUE(lines[2].startsWith("- PDV3, série 3, nota ") && lines[2].contains("contingência off-line"));
    EXPECT_TRUE(lines[3].startsWith("- PDV4, série 4, nota ") && lines[3].contains("é de outro mês"));
    EXPECT_FALSE(messages[1].contains("PDV2"));
    EXPECT_EQ(w.form_enviar()->lbl_conferencia->text(), "Conferência: 3 problemas");
}
