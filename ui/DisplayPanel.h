#pragma once

#include "draw/DC.h"
#include "engine/MediumTypes.h"
#include "ui/TitleMarquee.h"

#include <string>

// What the panel shows of the player's position, as the engine reports it: the kind of
// medium (the time of an audio CD also shows its track), the track, and the minutes and
// seconds (within the track on a CD).
struct PanelTime
{
    DeviceKind nKind = DEVICE_MIDI;
    int nTrack = 0;
    int nMinutes = 0;
    int nSeconds = 0;
};

// The LED-like display panel of the player view: its font, its off-screen bitmap, its
// colours and the scrolling title. A composition fills the bitmap with the background,
// draws the title (while a medium is open), the time and the red "R " marker, and copies it
// to the view in one block transfer. The owner (the view) passes in what the engine and the
// document report; the panel reads nothing else. User-interface thread only.
class CDisplayPanel
{
public:
    static constexpr COLORREF MARKER_COLOR = 0x0000C8;
    static constexpr const char* PANEL_FACE = "ＭＳ　Ｐゴシック";
    static constexpr int PANEL_POINTS = 8;
    static constexpr int ESCAPEMENT_VERTICAL = -900;
    // The rotated time text starts this far below the top of the time area, unless it is
    // the longer CD form.
    static constexpr int VERTICAL_TIME_DROP = 22;
    static constexpr int VERTICAL_MARKER_X = 12;

    CDisplayPanel() = default;
    CDisplayPanel(const CDisplayPanel&) = delete;
    CDisplayPanel& operator=(const CDisplayPanel&) = delete;

    // Takes the layout (any number; outside 0..2 it is the grid) and makes the font for it
    // (8 points at nLogPixelsY dots per inch, rotated in the vertical layout) and a bitmap of
    // its panel size. FALSE when the font or the bitmap cannot be made.
    int SetLayout(int nLayout, int nLogPixelsY);
    int GetLayout() const { return m_nLayout; }

    // Composes the panel and copies it to pTarget (view coordinates: at x 19 in the vertical
    // layout, 0 otherwise). bAdvance 1 moves the title one step first (a timer tick); 0
    // draws it where it is (a paint). The title is drawn only when bOpen.
    void Compose(CDC* pTarget, int bAdvance, int bOpen, const PanelTime& time);

    // Clears the time area of a panel-coordinate context and draws the time text, then the
    // marker. Leaves the context's text colour at MARKER_COLOR.
    void DrawTime(CDC* pPanelDC, const PanelTime& time);

    // Restarts the title from a document update: status is the document's status text;
    // an empty one (nothing open) keeps the previous title.
    void RefreshTitle(const std::string& status);

    // Draws the time that a drag seek to nPercent of nLengthSeconds would reach, straight
    // onto a view-coordinate context; the title and marker stay as they are.
    void DrawSeekText(CDC* pViewDC, int nPercent, DeviceKind nKind, int nTrack, int nLengthSeconds);

    // "%2d : %2d" (minutes, seconds), or "<%2d> %2d : %2d" with the track for a CD.
    static std::string TimeText(DeviceKind nKind, int nTrack, int nMinutes, int nSeconds);

    // Text colour of the title and time, and the background colour of the panel.
    void SetColors(COLORREF crText, COLORREF crLed);
    COLORREF GetTextColor() const { return m_crText; }
    COLORREF GetLedColor() const { return m_crLed; }

    const CTitleMarquee& GetMarquee() const { return m_marquee; }
    const CFont& GetFont() const { return m_font; }
    const CBitmap& GetBitmap() const { return m_bmpPanel; }

private:
    // Draws text in the time area: rotated below its top-right corner in the vertical
    // layout, right-aligned in it otherwise.
    void DrawTimeText(CDC* pDC, CRect rcTime, DeviceKind nKind, const std::string& text) const;

    int m_nLayout = 0;
    CBitmap m_bmpPanel;
    CTitleMarquee m_marquee;
    COLORREF m_crText = 0;
    COLORREF m_crLed = 0xE7FFF7;
    CFont m_font;
};
