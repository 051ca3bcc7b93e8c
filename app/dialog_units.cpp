// Dialog units to pixels, and the dialog font.
#include "dialog_units.h"

#include "res/strings.h"

#include <QFontMetrics>
#include <QStringList>

#include <cmath>

namespace kelvarin {

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = width / 52.0;
    m_baseY = metrics.height();
}

int DialogUnits::MapX(int units) const {
    return static_cast<int>(std::lround(units * m_baseX / 4.0));
}

int DialogUnits::MapY(int units) const {
    return static_cast<int>(std::lround(units * m_baseY / 8.0));
}

QRect DialogUnits::MapRect(int x, int y, int cx, int cy) const {
    const int left = MapX(x);
    const int top = MapY(y);
    return QRect(left, top, MapX(x + cx) - left, MapY(y + cy) - top);
}

QSize DialogUnits::MapSize(int cx, int cy) const {
    return QSize(MapX(cx), MapY(cy));
}

void InstallDialogFontSubstitution() {
    // Debian's small CJK font first; the others in case a machine has them.
    QFont::insertSubstitutions(
        QString::fromUtf8(res::kDialogFontFace),
        {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
         QStringLiteral("Droid Sans Fallback")});
}

QFont DialogFont() {
    QFont font(QString::fromUtf8(res::kDialogFontFace));
    font.setPointSize(res::kDialogFontPoints);
    return font;
}

}  // namespace kelvarin
