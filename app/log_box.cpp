// The log list box.
#include "log_box.h"

#include <QMouseEvent>

namespace kelvarin {

CLogBox::CLogBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The box carries a horizontal scroll bar with no extent, so it never
    // scrolls sideways: long lines are cut at the right edge.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

void CLogBox::AppendLine(const QString& line) {
    addItem(line);
    scrollToBottom();
}

QStringList CLogBox::Lines() const {
    QStringList lines;
    lines.reserve(count());
    for (int row = 0; row < count(); ++row) {
        lines << item(row)->text();
    }
    return lines;
}

void CLogBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    emit logDblClk();
}

}  // namespace kelvarin
