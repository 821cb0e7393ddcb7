#include "ui/QtPrompts.h"

#include "tests/support/TempDir.h"
#include "tests/ui/SorvaneViewTest.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

class QtPrompts : public ::testing::Test
{
protected:
    void SetUp() override { EnsureQtApplication(); }

    CQtPrompts m_prompts;
    CTempDir m_dir;
};

bool Matches(const QString& pattern, const QString& name)
{
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
        .match(name)
        .hasMatch();
}

// Types names into a file dialog's name field, as a user does (selectFile leaves the field as
// it was while it has the focus). False when the dialog has no such field.
bool TypeNames(QFileDialog* pDialog, const char* names)
{
    auto* pEdit = pDialog->findChild<QLineEdit*>("fileNameEdit");
    if (pEdit == nullptr)
        return false;
    pEdit->setText(names);
    return true;
}

TEST_F(QtPrompts, PatternsMatchLettersOfEitherCase)
{
    const QString pattern = CQtPrompts::CaseInsensitivePattern("*.mid");
    EXPECT_EQ(pattern, QString("*.[mM][iI][dD]"));
    for (const char* name : {"a.mid", "B.MID", "c.Mid"})
        EXPECT_TRUE(Matches(pattern, name)) << name;
    EXPECT_FALSE(Matches(pattern, "a.midi"));
    EXPECT_EQ(CQtPrompts::CaseInsensitivePattern("*.*"), QString("*.*"));
    EXPECT_EQ(CQtPrompts::CaseInsensitivePattern("*.mp[23]"), QString("*.[mM][pP][23]"));
}

TEST_F(QtPrompts, TheOpenFilterKeepsItsNameAndGivesEachPatternInBothCases)
{
    const QStringList filters = CQtPrompts::NameFilters(
        "AudioFiles( .mid .wav .m3u,mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||");
    ASSERT_EQ(filters.size(), 1);
    EXPECT_EQ(filters[0], QString("AudioFiles( .mid .wav .m3u,mp*) (*.[mM][iI][dD] "
                                  "*.[wW][aA][vV] *.[mM]3[uU] *.[mM][pP]3 *.[mM][pP]2 "
                                  "*.[mM][pP])"));
    EXPECT_EQ(CQtPrompts::NameFilters("PlayListFiles(.m3u)|*.m3u||"),
              QStringList{"PlayListFiles(.m3u) (*.[mM]3[uU])"});
    EXPECT_TRUE(CQtPrompts::NameFilters("").isEmpty());
}

TEST_F(QtPrompts, AMessageIsAWarningBoxCaptionedSorvaneWithOkOnly)
{
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    SorvaneViewTest::WithModal([&] { m_prompts.ShowMessage("演奏に失敗しました"); },
                               [&](QWidget* pWidget) {
                                   auto* pBox = qobject_cast<QMessageBox*>(pWidget);
                                   ASSERT_NE(pBox, nullptr);
                                   title = pBox->windowTitle();
                                   text = pBox->text();
                                   buttons = pBox->standardButtons();
                                   pBox->button(QMessageBox::Ok)->click();
                               });
    EXPECT_EQ(title, QString("Sorvane"));
    EXPECT_EQ(text.toStdString(), "演奏に失敗しました");
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(QtPrompts, AnOpenDialogReturnsTheChosenFilesInTheirOrder)
{
    const std::string a = m_dir.Write("A.MID", "x");
    const std::string b = m_dir.Write("b.wav", "x");
    FileDialogRequest request;
    request.bMultiSelect = true;
    request.strDefExt = ".mid";
    request.strFilter = "AudioFiles| *.mid; *.wav|Others|*.mp3||";
    request.nFilterIndex = 2;
    std::vector<std::string> paths;
    bool bOk = false;
    SorvaneViewTest::WithModal([&] { bOk = m_prompts.AskFiles(request, paths); },
                               [&](QWidget* pWidget) {
                                   auto* pDialog = qobject_cast<QFileDialog*>(pWidget);
                                   ASSERT_NE(pDialog, nullptr);
                                   EXPECT_EQ(pDialog->fileMode(), QFileDialog::ExistingFiles);
                                   EXPECT_EQ(pDialog->defaultSuffix(), QString("mid"));
                                   // Catches the dialog opening on the first entry.
                                   EXPECT_EQ(pDialog->selectedNameFilter(), QString("Others"));
                                   pDialog->setDirectory(QString::fromStdString(m_dir.Path()));
                                   ASSERT_TRUE(TypeNames(pDialog, "\"A.MID\" \"b.wav\""));
                                   static_cast<QDialog*>(pDialog)->accept();
                               });
    EXPECT_TRUE(bOk);
    EXPECT_EQ(paths, (std::vector<std::string>{a, b}));
}

TEST_F(QtPrompts, AnOpenDialogTakesATypedNameThatNamesNoFile)
{
    // Catches Qt's own English "File not found" box refusing the name the engine reports.
    FileDialogRequest request;
    request.bMultiSelect = true;
    std::vector<std::string> paths;
    bool bOk = false;
    SorvaneViewTest::WithModal([&] { bOk = m_prompts.AskFiles(request, paths); },
                               [&](QWidget* pWidget) {
                                   auto* pDialog = qobject_cast<QFileDialog*>(pWidget);
                                   ASSERT_NE(pDialog, nullptr);
                                   pDialog->setDirectory(QString::fromStdString(m_dir.Path()));
                                   ASSERT_TRUE(TypeNames(pDialog, "missing.wav"));
                                   // A refusal box would hold the test: it is closed, and
                                   // the dialog left open is cancelled.
                                   QTimer closer;
                                   closer.setSingleShot(true);
                                   QObject::connect(&closer, &QTimer::timeout, [pDialog] {
                                       QWidget* pBox = QApplication::activeModalWidget();
                                       if (pBox != nullptr && pBox != pDialog)
                                           pBox->close();
                                   });
                                   closer.start(0);
                                   static_cast<QDialog*>(pDialog)->accept();
                                   if (pDialog->isVisible())
                                       pDialog->reject();
                               });
    EXPECT_TRUE(bOk);
    EXPECT_EQ(paths, std::vector<std::string>{m_dir / "missing.wav"});
}

TEST_F(QtPrompts, ACancelledDialogAnswersNothing)
{
    FileDialogRequest request;
    std::vector<std::string> paths = {"unchanged"};
    bool bOk = true;
    SorvaneViewTest::WithModal(
        [&] { bOk = m_prompts.AskFiles(request, paths); },
        [&](QWidget* pWidget) { qobject_cast<QDialog*>(pWidget)->reject(); });
    EXPECT_FALSE(bOk);
    EXPECT_EQ(paths, std::vector<std::string>{"unchanged"});
}

TEST_F(QtPrompts, ASaveDialogProposesTheNameAndReplacesWithoutAsking)
{
    const std::string existing = m_dir.Write("MyPlayList.m3u", "old");
    FileDialogRequest request;
    request.bOpen = false;
    request.strDefExt = ".m3u";
    request.strFileName = "MyPlayList";
    request.strFilter = "PlayListFiles(.m3u)|*.m3u||";
    std::vector<std::string> paths;
    bool bOk = false;
    SorvaneViewTest::WithModal([&] { bOk = m_prompts.AskFiles(request, paths); },
                               [&](QWidget* pWidget) {
                                   auto* pDialog = qobject_cast<QFileDialog*>(pWidget);
                                   ASSERT_NE(pDialog, nullptr);
                                   EXPECT_EQ(pDialog->acceptMode(), QFileDialog::AcceptSave);
                                   EXPECT_TRUE(
                                       pDialog->testOption(QFileDialog::DontConfirmOverwrite));
                                   EXPECT_EQ(pDialog->defaultSuffix(), QString("m3u"));
                                   pDialog->setDirectory(QString::fromStdString(m_dir.Path()));
                                   pDialog->selectFile("MyPlayList");
                                   static_cast<QDialog*>(pDialog)->accept();
                               });
    EXPECT_TRUE(bOk);
    EXPECT_EQ(paths, std::vector<std::string>{existing});
}

TEST_F(QtPrompts, TheColourDialogOpensOnTheColourAndReturnsTheChoice)
{
    QColor initial;
    COLORREF chosen = 0;
    bool bOk = false;
    SorvaneViewTest::WithModal([&] { bOk = m_prompts.AskColor(0xFFC8B4, chosen); },
                               [&](QWidget* pWidget) {
                                   auto* pDialog = qobject_cast<QColorDialog*>(pWidget);
                                   ASSERT_NE(pDialog, nullptr);
                                   initial = pDialog->currentColor();
                                   pDialog->setCurrentColor(QColor(10, 20, 30));
                                   pDialog->accept();
                               });
    EXPECT_EQ(initial, QColor(180, 200, 255));
    EXPECT_TRUE(bOk);
    EXPECT_EQ(chosen, RGB(10, 20, 30));

    chosen = 7;
    SorvaneViewTest::WithModal(
        [&] { bOk = m_prompts.AskColor(0, chosen); },
        [&](QWidget* pWidget) { qobject_cast<QDialog*>(pWidget)->reject(); });
    EXPECT_FALSE(bOk);
    EXPECT_EQ(chosen, 7u);
}

} // namespace
