// Dialog units: the layout tables' coordinates, scaled by the dialog font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace kelvarin {

// Converts dialog units to pixels with a font's base units: horizontally the
// average width of "A".."Z" "a".."z" (their width / 52), vertically the
// font's height; x pixels = units * base_x / 4, y pixels = units * base_y / 8.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    // The rectangle x, y, cx, cy in pixels; its corners are mapped, so
    // controls that touch in dialog units touch in pixels too.
    QRect MapRect(int x, int y, int cx, int cy) const;

    // A size in pixels (a dialog's client area).
    QSize MapSize(int cx, int cy) const;

    // The base units in pixels.
    double BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

  private:
    int MapX(int units) const;
    int MapY(int units) const;

    double m_baseX = 0;
    int m_baseY = 0;
};

// Maps the dialog font's face to an installed CJK font, so its Chinese texts
// render as glyphs, not boxes, whatever the locale. Call once before any
// window is made.
void InstallDialogFontSubstitution();

// The font both dialogs use, "宋体" 9 point (through the substitution).
QFont DialogFont();

}  // namespace kelvarin
