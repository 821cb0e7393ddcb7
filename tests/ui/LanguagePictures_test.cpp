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
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>

#include <gtest/gtest.h>

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

void Save(QWidget& window, const std::string& name)
{
    const std::string dir = PictureDir();
    QDir().mkpath(QString::fromStdString(dir));
    const QImage picture = window.grab().toImage();
    EXPECT_TRUE(picture.save(QString::fromStdString(dir + "/" + name + ".png"))) << name;
}

bool IsAscii(const std::string& text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Catches an English text that runs past its control or a control that moved for it, a
// text the windows never look up (it stays Japanese), and menu letters that collide.
TEST(LanguagePictures, EnglishWindowsShowEveryTextWholeWhereTheTemplatePutsIt)
{
    EnsureQtApplication();
    CManualClockOutput clock;
    ASSERT_TRUE(clock.Ok());
    CSorvaneDoc doc;
    CPlayerSettings settings;
    settings.UseFile("/nonexistent-dir-for-settings/Sorvix.ini");

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
        CPlaylistDlg playlist(&doc, nullptr);
        windows["playlist"] = ReadWindow(playlist);
        Save(playlist, language + "-playlist");
        CSettingsDlg settingsDlg(settings, nullptr);
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

} // namespace
