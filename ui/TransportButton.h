#pragma once

#include "draw/DC.h"
#include "settings/PlayerSettings.h"
#include "ui/GlyphPainters.h"

#include <QAbstractButton>
#include <QImage>

#include <string>

// One owner-drawn transport button: a flat face in the user's button colour, a one-pixel
// 3-D frame and a glyph drawn by a painter (or, without one, the window text). The button
// keeps its own picture and changes it the way an owner-draw request asks: a full redraw
// (shown, resized, enabled or disabled, Invalidate), a frame-only redraw when it is pressed
// or released, and the focus dots when it gains the focus (they stay after the focus leaves,
// until the next full redraw). Only a click gives it the focus (Tab and window activation
// never do), and a greyed button shows no tip. A click reaches the owner through
// QAbstractButton::clicked; GetDlgCtrlID names the command. User-interface thread only.
class CTransportButton : public QAbstractButton
{
public:
    static constexpr COLORREF kLight = 0xFFFFFF;
    static constexpr COLORREF kShadow = 0x000000;

    explicit CTransportButton(QWidget* pParent = nullptr);
    ~CTransportButton() override;

    // Makes the button a child of pParent at rect (pParent's client coordinates), with the
    // window text strText and the control id nID; shown when dwStyle has WS_VISIBLE. The
    // button is always owner-drawn (BS_OWNERDRAW). FALSE without a parent.
    int Create(const std::string& strText, std::uint32_t dwStyle, const CRect& rect,
               QWidget* pParent, int nID);
    int GetDlgCtrlID() const { return m_nID; }

    // Store the painter (null: draw the window text) and the face colour. Neither repaints;
    // the owner calls Invalidate when it wants the change seen (a redraw asked for earlier
    // is drawn with what it was asked with).
    void SetGlyphPainter(GlyphPainter pfnGlyph)
    {
        if (m_bStale)
            Freshen();
        m_pfnGlyph = pfnGlyph;
    }
    void SetFaceColor(COLORREF crFace)
    {
        if (m_bStale)
            Freshen();
        m_crFace = crFace & 0xFFFFFF;
    }
    COLORREF GetFaceColor() const { return m_crFace; }

    // A full redraw, drawn when the picture is next wanted.
    void Invalidate();

    // Draws one owner-draw request into pDIS->hDC: ODA_DRAWENTIRE fills the face, draws the
    // raised frame and then the glyph; ODA_SELECT draws only the frame, sunken while
    // ODS_SELECTED; ODA_FOCUS with ODS_FOCUS draws the focus dots. Never deletes the context.
    virtual void DrawItem(const DRAWITEMSTRUCT* pDIS);

    // What the button shows now (its client area), a full redraw asked for drawn first.
    const QImage& Picture()
    {
        Freshen();
        return m_picture;
    }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Runs DrawItem for one request on the button's picture; Request also schedules a
    // repaint.
    void Render(unsigned itemAction, unsigned itemState);
    void Request(unsigned itemAction, unsigned itemState);
    // Draws the full redraw asked for (or the picture of a new size), if any.
    void Freshen();
    unsigned ItemState() const;

    COLORREF m_crFace = CPlayerSettings::kDefaultButton;
    GlyphPainter m_pfnGlyph = nullptr;
    int m_nID = 0;
    std::string m_strText;
    QImage m_picture;
    bool m_bStale = false; // a full redraw is asked for and not drawn yet
};
