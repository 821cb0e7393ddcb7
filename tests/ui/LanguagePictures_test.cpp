#include "dialogs/PlaylistDlg.h"
#include "dialogs/SettingsDlg.h"
#include "queue/SorvaneDoc.h"
#include "res/Language.h"
#include "res/Resource.h"
#include "settings/PlayerSettings.h"
#include "ui/ViewMenus.h"

#include "tests/support/ManualClock.h"
#include "tests/ui/UiTestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Pictures of the window's pop-up menu, the tray menu, the playlist window and the settings
// dialog in the Japanese source texts and in English, left in the build tree for a person to
// compare, with the checks a person would make: every text whole, every control where the
// template puts it, distinct menu letters.

namespace {

// What a language shows of one window: each control's place and text, and texts cut off.
struct WindowTexts
{
    std::vector<QRect> places;
    std::vector<std::string> texts;
    std::vector<std::string> cutOff;
};

WindowTexts ReadWindow(const QWidget& window)
{
    WindowTexts result;
    result.texts.push_back(window.windowTitle().toStdString());
    for (const QWidget* pControl : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QString text;
        int room = 0;
        const QFontMetrics metrics(pControl->font());
        if (const auto* pButton = qobject_cast<const QAbstractButton*>(pControl)) {
            QStyleOptionButton option;
            option.initFrom(pButton);
            option.text = pButton->text();
            QStyle::SubElement contents = QStyle::SE_PushButtonContents;
            if (qobject_cast<const QCheckBox*>(pButton) != nullptr)
                contents = QStyle::SE_CheckBoxContents;
            else if (qobject_cast<const QRadioButton*>(pButton) != nullptr)
                contents = QStyle::SE_RadioButtonContents;
            room = pButton->style()->subElementRect(contents, &option, pButton).width();
            text = pButton->text();
        } else if (const auto* pLabel = qobject_cast<const QLabel*>(pControl)) {
            room = pLabel->contentsRect().width();
            text = pLabel->text();
        } else if (const auto* pGroup = qobject_cast<const QGroupBox*>(pControl)) {
            // The title stands one average letter in from either side of the frame.
            room = pGroup->width() - 2 * metrics.averageCharWidth();
            text = pGroup->title();
        }
        result.places.push_back(pControl->geometry());
        if (text.isEmpty())
            continue;
        result.texts.push_back(text.toStdString());
        if (metrics.horizontalAdvance(text) > room)
            result.cutOff.push_back(text.toStdString());
    }
    return result;
}

// The texts of a menu's items, and the mnemonic letters used more than once.
WindowTexts ReadMenu(const QMenu& menu)
{
    WindowTexts result;
    std::set<QChar> letters;
    for (const QAction* pAction : menu.actions()) {
        if (pAction->isSeparator())
            continue;
        const QString text = pAction->text();
        result.texts.push_back(text.toStdString());
        const qsizetype amp = text.indexOf(u'&');
        if (amp >= 0 && amp + 1 < text.size() && !letters.insert(text[amp + 1].toLower()).second)
            result.cutOff.push_back("letter used twice: " + text.toStdString());
    }
    return result;
}

// Saved under the locale's own folder: the test runs again under each locale below.
void Save(QWidget& window, const std::string& name)
{
    const char* locale = std::getenv("LANG");
    const std::string dir =
        PictureDir() + "/" + (locale != nullptr && *locale != '\0' ? locale : "unset");
    QDir().mkpath(QString::fromStdString(dir));
    const QImage picture = window.grab().toImage();
    EXPECT_TRUE(picture.save(QString::fromStdString(dir + "/" + name + ".png"))) << name;
}

bool IsAscii(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The document and the settings the windows show, over the manual-clock output.
class LanguagePictures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        ASSERT_TRUE(m_clock.Ok());
        m_settings.UseFile("/nonexistent-dir-for-settings/Sorvix.ini");
    }

    CManualClockOutput m_clock;
    CSorvaneDoc m_doc;
    CPlayerSettings m_settings;
};

// Catches an English or Japanese text that runs past its control or a control that moved for
// it, a text the windows never look up (it stays Japanese), and menu letters that collide.
TEST_F(LanguagePictures, EnglishWindowsShowEveryTextWholeWhereTheTemplatePutsIt)
{

    std::map<std::string, std::map<std::string, WindowTexts>> shown;
    for (const std::string language : {"ja", "en"}) {
        const std::unique_ptr<QTranslator> translation =
            InstallTranslation(language == "ja" ? "" : language);
        std::map<std::string, WindowTexts>& windows = shown[language];
        for (const auto& [name, nID] :
             {std::pair{"window-menu", IDR_MENU_POPUP}, std::pair{"tray-menu", IDR_MENU_TRAY},
              std::pair{"loudness-menu", IDR_MENU_GAIN}}) {
            const std::unique_ptr<QMenu> menu = LoadPopupMenu(nID);
            ASSERT_NE(menu, nullptr);
            menu->adjustSize();
            windows[name] = ReadMenu(*menu);
            Save(*menu, language + "-" + name);
        }
        CPlaylistDlg playlist(&m_doc, nullptr);
        windows["playlist"] = ReadWindow(playlist);
        Save(playlist, language + "-playlist");
        CSettingsDlg settingsDlg(m_settings, nullptr);
        settingsDlg.OnInitDialog();
        windows["settings"] = ReadWindow(settingsDlg);
        Save(settingsDlg, language + "-settings");
    }

    for (const auto& [name, english] : shown["en"]) {
        const WindowTexts& source = shown["ja"][name];
        EXPECT_EQ(english.places, source.places) << name;
        EXPECT_EQ(english.cutOff, std::vector<std::string>{}) << name;
        EXPECT_EQ(source.cutOff, std::vector<std::string>{}) << name;
        ASSERT_EQ(english.texts.size(), source.texts.size()) << name;
        for (const std::string& text : english.texts)
            EXPECT_TRUE(IsAscii(text)) << name << ": " << text;
    }
}

// A language whose texts all run three times as long as the player's own.
class CLongTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        return QByteArray(context) == "Sorvane" ? QString::fromUtf8(source).repeated(3) : QString();
    }
    bool isEmpty() const override { return false; }
};

// Catches dialogs that keep the template's widths for texts longer than the template allowed
// for, which are then cut off: the whole window grows alike instead.
TEST_F(LanguagePictures, TextsLongerThanTheTemplateAllowedForWidenTheWholeWindow)
{
    CLongTranslator longer;
    QCoreApplication::installTranslator(&longer);
    CPlaylistDlg playlist(&m_doc, nullptr);
    CSettingsDlg settingsDlg(m_settings, nullptr);
    settingsDlg.OnInitDialog();
    QCoreApplication::removeTranslator(&longer);
    Save(settingsDlg, "long-settings");
    for (CDialog* pDialog :
         {static_cast<CDialog*>(&playlist), static_cast<CDialog*>(&settingsDlg)}) {
        EXPECT_EQ(ReadWindow(*pDialog).cutOff, std::vector<std::string>{});
        EXPECT_GT(pDialog->GetBaseUnits().cx, CDialog::BaseUnitsOf(pDialog->GetDialogFont()).cx);
    }
}

// Catches windows laid out for one locale only: the locale reaches the font database, which
// names the families in the locale's language, and under a Japanese locale the dialogs once
// missed their font, took another whose letters made the dialog units too narrow, and cut the
// Japanese texts off. The tests above run again under each locale, in a process of their own
// (LANG; LC_ALL, LC_MESSAGES and SORVANE_LANG cleared).
TEST(LanguagePicturesInEachLocale, EveryTextShowsWholeUnderJapaneseCAndEnglishLocales)
{
    EnsureQtApplication();
    for (const char* locale : {"ja_JP.UTF-8", "C", "en_US.UTF-8"}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "SORVANE_LANG"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("LANG"), QString::fromLatin1(locale));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=LanguagePictures.*")});
        ASSERT_TRUE(child.waitForFinished(100000)) << locale;
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << locale << "\n" << output;
        EXPECT_NE(output.find("[  PASSED  ] 2 tests"), std::string::npos) << locale << "\n"
                                                                          << output;
    }
}

} // namespace
