#include "dialogs/SettingsDlg.h"

#include "dialogs/Static.h"
#include "dialogs/WindowSystem.h"
#include "draw/DC.h"
#include "res/Resource.h"
#include "settings/PlayerSettings.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/RecordingPrompts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class SettingsDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        m_settings.UseFile("/nonexistent-dir-for-settings/Sorvix.ini");
    }

    // Builds the dialog and runs its initialisation, as the settings command does.
    CSettingsDlg& Open()
    {
        m_dlg = std::make_unique<CSettingsDlg>(m_settings, nullptr);
        EXPECT_EQ(m_dlg->OnInitDialog(), 1);
        return *m_dlg;
    }

    QLineEdit* Edit(int nID) { return dynamic_cast<QLineEdit*>(m_dlg->GetDlgItem(nID)); }

    // Types text into an edit as the user does: the edit reports the change.
    void Type(int nID, const char* text) { Edit(nID)->setText(QString::fromUtf8(text)); }

    void Click(int nID)
    {
        auto* pButton = dynamic_cast<QAbstractButton*>(m_dlg->GetDlgItem(nID));
        ASSERT_NE(pButton, nullptr) << nID;
        pButton->click();
    }

    std::vector<std::string> Components()
    {
        return {m_dlg->GetDlgItemText(IDC_SETTINGS_RED), m_dlg->GetDlgItemText(IDC_SETTINGS_GREEN),
                m_dlg->GetDlgItemText(IDC_SETTINGS_BLUE)};
    }

    COLORREF SwatchColor()
    {
        QWidget* pSwatch = m_dlg->GetDlgItem(IDC_SETTINGS_SWATCH);
        return WidgetPixel(*pSwatch, pSwatch->width() / 2, pSwatch->height() / 2);
    }

    // The six values the dialog edits plus the launch position it must never touch.
    std::vector<int> Snapshot() const
    {
        return {m_settings.Get(SK_REPEAT),    m_settings.Get(SK_BUTTON_COLOR),
                m_settings.Get(SK_LED_COLOR), m_settings.Get(SK_TEXT_COLOR),
                m_settings.Get(SK_LAYOUT),    m_settings.Get(SK_TOPMOST),
                m_settings.GetLaunchPos().x,  m_settings.GetLaunchPos().y};
    }

    CRecordingPrompts m_prompts;
    CPlayerSettings m_settings;
    std::unique_ptr<CSettingsDlg> m_dlg;
};

TEST_F(SettingsDlgTest, DialogIsBuiltFromItsTemplate)
{
    CSettingsDlg& dlg = Open();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("設定"));
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    const CRect client = dlg.MapDialogRect(0, 0, 170, 217);
    EXPECT_EQ(dlg.size(), QSize(client.Width(), client.Height()));
    EXPECT_EQ(dlg.GetDlgItemText(IDOK), "OK");
    EXPECT_EQ(dlg.GetDlgItemText(IDCANCEL), "ｷｬﾝｾﾙ");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTINGS_REPEAT), "リピート演奏");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTINGS_TOPMOST), "最上位ウインドウ");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTINGS_DEFAULT_COLOR), "デフォルト色");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTINGS_PICK_COLOR), "色作成");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTINGS_LAYOUT_GROUP), "ボタンレイアウト");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTINGS_TARGET_DISPLAY), "表示部");
    const CRect swatch = dlg.MapDialogRect(49, 78, 13, 36);
    EXPECT_EQ(dlg.GetDlgItem(IDC_SETTINGS_SWATCH)->geometry(),
              QRect(swatch.left, swatch.top, swatch.Width(), swatch.Height()));
    EXPECT_EQ(dlg.m_wndSwatch, dlg.GetDlgItem(IDC_SETTINGS_SWATCH));
}

TEST_F(SettingsDlgTest, DefaultSettingsShowTheButtonColour)
{
    CSettingsDlg& dlg = Open();
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TARGET_BUTTONS), 1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TARGET_DISPLAY), 0);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TARGET_TEXT), 0);
    EXPECT_EQ(Components(), (std::vector<std::string>{"180", "200", "255"}));
    EXPECT_EQ(dlg.GetCurrentColor(), 0xFFC8B4u);
    EXPECT_EQ(SwatchColor(), 0xFFC8B4u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_REPEAT), 1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TOPMOST), 0);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_1), 1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_2), 0);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SettingsDlgTest, InitialisationReadsEverySettingItEdits)
{
    m_settings.Set(SK_REPEAT, 0);
    m_settings.Set(SK_TOPMOST, 1);
    m_settings.Set(SK_LAYOUT, 1);
    m_settings.Set(SK_BUTTON_COLOR, 0x030201);
    CSettingsDlg& dlg = Open();
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_REPEAT), 0);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TOPMOST), 1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_1), 0);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_2), 1);
    EXPECT_EQ(Components(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(SettingsDlgTest, OkWritesTheSixValuesAndNothingElse)
{
    m_settings.SetLaunchPos(40, 50);
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_REPEAT);
    Click(IDC_SETTINGS_TOPMOST);
    Click(IDC_SETTINGS_LAYOUT_2);
    Type(IDC_SETTINGS_RED, "10");
    Click(IDOK);
    EXPECT_EQ(dlg.GetResult(), IDOK);
    EXPECT_EQ(Snapshot(), (std::vector<int>{0, 0xFFC80A, 0xE7FFF7, 0, 1, 1, 40, 50}));
    EXPECT_TRUE(m_prompts.messages.empty());
}

// Catches the always-on-top box offered where the desktop ignores it, and the setting lost
// (or changed) there, where the next X11 session still wants it.
TEST_F(SettingsDlgTest, WhereWindowsCannotStayOnTopTheBoxIsGreyedWithItsTipAndTheSettingKept)
{
    const CWindowSystemForTest wayland(false, true);
    m_settings.Set(SK_TOPMOST, 1);
    CSettingsDlg& dlg = Open();
    QWidget* pTopmost = dlg.GetDlgItem(IDC_SETTINGS_TOPMOST);
    EXPECT_FALSE(pTopmost->isEnabled());
    EXPECT_EQ(pTopmost->toolTip().toStdString(), CSettingsDlg::kTopmostUnavailableTip);
    Click(IDOK);
    EXPECT_EQ(m_settings.Get(SK_TOPMOST), 1);
}

TEST_F(SettingsDlgTest, CancelAfterChangesStoresNothing)
{
    const std::vector<int> before = Snapshot();
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_REPEAT);
    Click(IDC_SETTINGS_TOPMOST);
    Click(IDC_SETTINGS_LAYOUT_3);
    Type(IDC_SETTINGS_GREEN, "0");
    Click(IDC_SETTINGS_TARGET_TEXT);
    Type(IDC_SETTINGS_BLUE, "99");
    Click(IDCANCEL);
    EXPECT_EQ(dlg.GetResult(), IDCANCEL);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(SettingsDlgTest, CloseBoxAndEscapeEndWithCancel)
{
    const std::vector<int> before = Snapshot();
    CSettingsDlg& dlg = Open();
    dlg.show();
    Click(IDC_SETTINGS_TOPMOST);
    dlg.close();
    EXPECT_EQ(dlg.GetResult(), IDCANCEL);
    EXPECT_FALSE(dlg.isVisible());

    Open().show();
    Click(IDC_SETTINGS_REPEAT);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(m_dlg.get(), &escape);
    EXPECT_EQ(m_dlg->GetResult(), IDCANCEL);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(SettingsDlgTest, EditingAComponentRepaintsTheSwatchButStoresOnlyAtOk)
{
    CSettingsDlg& dlg = Open();
    Type(IDC_SETTINGS_RED, "0");
    EXPECT_EQ(dlg.m_nRed, 0u);
    EXPECT_EQ(SwatchColor(), 0xFFC800u);
    EXPECT_EQ(dlg.m_crButtonColor, 0xFFC8B4u);
    EXPECT_EQ(m_settings.Get(SK_BUTTON_COLOR), 0xFFC8B4);
    dlg.OnOK();
    EXPECT_EQ(m_settings.Get(SK_BUTTON_COLOR), 0xFFC800);
}

TEST_F(SettingsDlgTest, EmptyingAnEditBringsTheValidationMessageAtOnce)
{
    CSettingsDlg& dlg = Open();
    dlg.show();
    Type(IDC_SETTINGS_GREEN, "");
    ASSERT_EQ(m_prompts.messages.size(), 1u);
    EXPECT_EQ(m_prompts.messages[0], "正の整数を入力してください。");
    EXPECT_EQ(dlg.focusWidget(), Edit(IDC_SETTINGS_GREEN));
    // The unreadable component keeps its previous value.
    EXPECT_EQ(dlg.m_nGreen, 200u);
}

TEST_F(SettingsDlgTest, SignsAndLettersAreNotUnsignedNumbers)
{
    CSettingsDlg& dlg = Open();
    for (const char* text : {"-5", "+5", "12a", "0x10", "99999999999"}) {
        m_prompts.messages.clear();
        Type(IDC_SETTINGS_RED, text);
        ASSERT_EQ(m_prompts.messages.size(), 1u) << text;
        EXPECT_EQ(m_prompts.messages[0], "正の整数を入力してください。") << text;
    }
    m_prompts.messages.clear();
    Type(IDC_SETTINGS_RED, " 7 ");
    EXPECT_TRUE(m_prompts.messages.empty());
    EXPECT_EQ(dlg.m_nRed, 7u);
}

TEST_F(SettingsDlgTest, ComponentAboveTheRangeShowsItsLowEightBitsButIsNotStored)
{
    CSettingsDlg& dlg = Open();
    Type(IDC_SETTINGS_RED, "300");
    ASSERT_EQ(m_prompts.messages.size(), 1u);
    EXPECT_EQ(m_prompts.messages[0], "0 から 255 までの整数を入力してください。");
    EXPECT_EQ(dlg.m_nRed, 300u);
    EXPECT_EQ(dlg.GetCurrentColor(), 0xFFC82Cu); // 300 & 0xFF = 44
    EXPECT_EQ(SwatchColor(), 0xFFC82Cu);

    dlg.OnOK();
    EXPECT_EQ(dlg.GetResult(), 0);
    EXPECT_EQ(m_settings.Get(SK_BUTTON_COLOR), 0xFFC8B4);
    EXPECT_EQ(m_prompts.messages.size(), 2u);
}

TEST_F(SettingsDlgTest, ReadingStopsAtTheFirstFailingFieldInExchangeOrder)
{
    CSettingsDlg& dlg = Open();
    // Blue is read first, so a bad blue leaves red and green unread.
    Edit(IDC_SETTINGS_RED)->blockSignals(true);
    Type(IDC_SETTINGS_RED, "1");
    Edit(IDC_SETTINGS_RED)->blockSignals(false);
    Type(IDC_SETTINGS_BLUE, "x");
    EXPECT_EQ(dlg.m_nRed, 180u);
    EXPECT_EQ(dlg.m_nBlue, 255u);
}

TEST_F(SettingsDlgTest, ChangedButtonAndTextColoursAreBothStored)
{
    CSettingsDlg& dlg = Open();
    Type(IDC_SETTINGS_BLUE, "0");
    Click(IDC_SETTINGS_TARGET_TEXT);
    EXPECT_EQ(dlg.m_nColorTarget, 2);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TARGET_TEXT), 1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TARGET_BUTTONS), 0);
    EXPECT_EQ(Components(), (std::vector<std::string>{"0", "0", "0"}));
    Type(IDC_SETTINGS_RED, "255");
    Click(IDOK);
    EXPECT_EQ(m_settings.Get(SK_BUTTON_COLOR), 0x00C8B4);
    EXPECT_EQ(m_settings.Get(SK_TEXT_COLOR), 0x0000FF);
    EXPECT_EQ(m_settings.Get(SK_LED_COLOR), 0xE7FFF7);
}

TEST_F(SettingsDlgTest, SwitchingBackShowsTheColourEditedEarlier)
{
    CSettingsDlg& dlg = Open();
    Type(IDC_SETTINGS_GREEN, "17");
    Click(IDC_SETTINGS_TARGET_DISPLAY);
    EXPECT_EQ(SwatchColor(), 0xE7FFF7u);
    Click(IDC_SETTINGS_TARGET_BUTTONS);
    EXPECT_EQ(Components(), (std::vector<std::string>{"180", "17", "255"}));
    EXPECT_EQ(dlg.GetCurrentColor(), 0xFF11B4u);
}

TEST_F(SettingsDlgTest, DefaultColourOfTheDisplayIsStoredAloneAtOk)
{
    m_settings.Set(SK_LED_COLOR, 0x123456);
    m_settings.Set(SK_BUTTON_COLOR, 0x010101);
    m_settings.Set(SK_TEXT_COLOR, 0x020202);
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_TARGET_DISPLAY);
    EXPECT_EQ(Components(), (std::vector<std::string>{"86", "52", "18"}));
    Click(IDC_SETTINGS_DEFAULT_COLOR);
    EXPECT_EQ(Components(), (std::vector<std::string>{"247", "255", "231"}));
    EXPECT_EQ(SwatchColor(), 0xE7FFF7u);
    dlg.OnOK();
    EXPECT_EQ(m_settings.Get(SK_LED_COLOR), 0xE7FFF7);
    EXPECT_EQ(m_settings.Get(SK_BUTTON_COLOR), 0x010101);
    EXPECT_EQ(m_settings.Get(SK_TEXT_COLOR), 0x020202);
}

TEST_F(SettingsDlgTest, DefaultColoursOfButtonsAndText)
{
    m_settings.Set(SK_BUTTON_COLOR, 0);
    m_settings.Set(SK_TEXT_COLOR, 0xFFFFFF);
    Open();
    Click(IDC_SETTINGS_DEFAULT_COLOR);
    EXPECT_EQ(Components(), (std::vector<std::string>{"180", "200", "255"}));
    Click(IDC_SETTINGS_TARGET_TEXT);
    Click(IDC_SETTINGS_DEFAULT_COLOR);
    EXPECT_EQ(Components(), (std::vector<std::string>{"0", "0", "0"}));
}

TEST_F(SettingsDlgTest, RepeatChangeSurvivesTheDefaultColourButton)
{
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_REPEAT);
    Click(IDC_SETTINGS_DEFAULT_COLOR);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_REPEAT), 0);
    dlg.OnOK();
    EXPECT_EQ(m_settings.Get(SK_REPEAT), 0);
}

TEST_F(SettingsDlgTest, PickerOpensOnTheCurrentColourAndItsAnswerFillsTheEdits)
{
    CSettingsDlg& dlg = Open();
    Type(IDC_SETTINGS_RED, "1");
    m_prompts.QueueColor(0x0A141E);
    Click(IDC_SETTINGS_PICK_COLOR);
    ASSERT_EQ(m_prompts.colorRequests.size(), 1u);
    EXPECT_EQ(m_prompts.colorRequests[0], 0xFFC801u);
    EXPECT_EQ(Components(), (std::vector<std::string>{"30", "20", "10"}));
    EXPECT_EQ(SwatchColor(), 0x0A141Eu);
    dlg.OnOK();
    EXPECT_EQ(m_settings.Get(SK_BUTTON_COLOR), 0x0A141E);
}

TEST_F(SettingsDlgTest, CancelledPickerKeepsTheComponents)
{
    CSettingsDlg& dlg = Open();
    m_prompts.QueueColor(std::nullopt);
    Click(IDC_SETTINGS_PICK_COLOR);
    EXPECT_EQ(m_prompts.colorRequests.size(), 1u);
    EXPECT_EQ(Components(), (std::vector<std::string>{"180", "200", "255"}));
    EXPECT_EQ(SwatchColor(), 0xFFC8B4u);
    EXPECT_EQ(dlg.GetCurrentColor(), 0xFFC8B4u);
}

TEST_F(SettingsDlgTest, LayoutRadioButtonThreeStoresLayoutTwo)
{
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_LAYOUT_3);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_3), 1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_1), 0);
    dlg.OnOK();
    EXPECT_EQ(m_settings.Get(SK_LAYOUT), 2);
}

TEST_F(SettingsDlgTest, RadioButtonsCheckOnlyThroughTheirHandlers)
{
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_TARGET_BUTTONS);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_TARGET_BUTTONS), 1);
    Click(IDC_SETTINGS_LAYOUT_1);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_1), 1);
}

TEST_F(SettingsDlgTest, LayoutOutsideTheRangeChecksNoButtonAndGoesBackUnchanged)
{
    m_settings.Set(SK_LAYOUT, 7);
    CSettingsDlg& dlg = Open();
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_1), 0);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_2), 0);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SETTINGS_LAYOUT_3), 0);
    dlg.OnOK();
    EXPECT_EQ(m_settings.Get(SK_LAYOUT), 7);
}

TEST_F(SettingsDlgTest, SwatchBrushIsOnlyForTheSwatch)
{
    CSettingsDlg& dlg = Open();
    CDC dc;
    const CBrush* pSwatch = dlg.OnCtlColor(&dc, dlg.m_wndSwatch, CTLCOLOR_STATIC);
    ASSERT_NE(pSwatch, nullptr);
    EXPECT_EQ(pSwatch->GetColor(), 0xFFC8B4u);
    EXPECT_EQ(dc.GetBkColor(), 0xFFC8B4u);
    EXPECT_EQ(dlg.OnCtlColor(&dc, dlg.GetDlgItem(IDOK), CTLCOLOR_STATIC), nullptr);
    EXPECT_EQ(dlg.OnCtlColor(&dc, dlg.m_wndSwatch, 1), nullptr);
}

TEST_F(SettingsDlgTest, PictureOfTheDialogShowsTheChosenTargetsColourInTheSwatch)
{
    CSettingsDlg& dlg = Open();
    Click(IDC_SETTINGS_TARGET_DISPLAY);
    const QImage picture = SavePicture(*m_dlg, "settings");
    ASSERT_FALSE(picture.isNull());
    const QColor swatch = picture.pixelColor(dlg.m_wndSwatch->geometry().center());
    EXPECT_EQ(swatch, QColor(0xF7, 0xFF, 0xE7)) << swatch.name().toStdString();

    // Catches a group box frame whose top line runs through its first row of controls.
    for (const QGroupBox* pGroup : m_dlg->findChildren<QGroupBox*>()) {
        const QRect box = pGroup->geometry();
        int firstRow = box.bottom();
        for (const QWidget* pChild : m_dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (pChild != pGroup && box.contains(pChild->geometry()))
                firstRow = std::min(firstRow, pChild->geometry().top());
        const QColor background = picture.pixelColor(box.right() - 3, box.top());
        int line = box.top();
        while (line < box.bottom() && picture.pixelColor(box.right() - 3, line) == background)
            ++line;
        EXPECT_LT(line, firstRow) << pGroup->title().toStdString();
    }
}

} // namespace
