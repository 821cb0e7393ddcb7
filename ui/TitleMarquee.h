#pragma once

#include "draw/GdiTypes.h"

#include <string>

class CDC;

// The title that scrolls through the display panel: it starts with its head at the right
// (horizontal) or bottom (vertical) edge of its rectangle and moves left (up) by about one
// character per step; a little before its tail has passed the far edge it starts again.
// It is not clipped to its rectangle. User-interface thread.
class CTitleMarquee
{
public:
    static constexpr int MARQUEE_VERTICAL = 0;
    static constexpr int MARQUEE_HORIZONTAL = 1;

    CTitleMarquee() = default;
    virtual ~CTitleMarquee() = default;

    // Stores the text (UTF-8), its rectangle (panel coordinates) and direction, and measures
    // the text in the font selected into pDC. A non-empty text restarts from the start
    // position, with a step of its pixel width / its length in bytes; an empty one keeps
    // the step and position.
    void SetText(CDC* pDC, const std::string& text, int left, int top, int right, int bottom,
                 int nDirection);

    // Draws the text into pDC (a panel-coordinate context with the panel font), first moving
    // it one step when bAdvance is 1. Another direction value draws nothing.
    void Draw(CDC* pDC, int bAdvance);

    int GetTextWidth() const { return m_nTextWidth; }
    int GetStep() const { return m_nStep; }
    int GetTicks() const { return m_nTicks; }
    const std::string& GetText() const { return m_strText; }

private:
    int m_nTextWidth = 0;
    int m_nStep = 0;
    int m_nDirection = 0;
    CRect m_rcTitle;
    int m_nTicks = 0;
    std::string m_strText;
};
