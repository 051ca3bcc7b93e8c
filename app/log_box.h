// CLogBox: the log, a list of lines that a double-click empties.
#pragma once

#include <QListWidget>

namespace kelvarin {

// An unsorted list box of text lines without selection. Lines are appended
// at the end and kept in view; it never scrolls sideways.
class CLogBox : public QListWidget {
    Q_OBJECT

  public:
    explicit CLogBox(QWidget* parent = nullptr);

    // Appends one line at the end and scrolls it into view.
    void AppendLine(const QString& line);

    // The lines, oldest first.
    QStringList Lines() const;

  signals:
    // A double-click anywhere in the box, on a line or below the lines.
    void logDblClk();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace kelvarin
