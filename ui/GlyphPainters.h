#pragma once

#include "draw/GdiTypes.h"

// The glyphs of the nine transport buttons. Each painter draws into the owner-draw record's
// device context, using its item rectangle's right and bottom as width and height, and
// leaves the context with the brush and pen it found. The shape painters draw black, or grey
// when the record's state has ODS_DISABLED; the open and CD play painters put a picture on
// the face through its mask and ignore the state. They return 0; a null record or context
// draws nothing. User-interface thread.

using GlyphPainter = int (*)(const DRAWITEMSTRUCT* pDIS);

int DrawOpenGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawPlayGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawStopGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawPrevGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawPauseGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawNextGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawPlaylistGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawCdPlayGlyph(const DRAWITEMSTRUCT* pDIS);
int DrawEjectGlyph(const DRAWITEMSTRUCT* pDIS);

// The painters in button order (index = command id − 2000).
inline constexpr GlyphPainter kGlyphPainters[] = {
    DrawOpenGlyph, DrawPlayGlyph,     DrawStopGlyph,   DrawPrevGlyph,  DrawPauseGlyph,
    DrawNextGlyph, DrawPlaylistGlyph, DrawCdPlayGlyph, DrawEjectGlyph,
};
