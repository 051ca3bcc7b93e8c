// Dialog construction from the layout tables in res/dialogs.h.
#include "dialog_builder.h"

#include "file_list_view.h"
#include "ip_address_ctrl.h"
#include "log_box.h"
#include "translate.h"

#include <qdrawutil.h>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

namespace kelvarin {

namespace {

// A group box drawn as the desktop draws one: an etched frame whose top edge
// runs through the middle of the title. It only frames; it takes no input.
class CGroupBox : public QWidget {
  public:
    CGroupBox(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    // The title shown on the top edge.
    QString Title() const { return m_title; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true, 1,
                       0);
        // The title sits on the line, one character in from the left.
        const int inset = DialogUnits(font()).MapRect(0, 0, 4, 0).width();
        const QRect text(inset, 0, metrics.horizontalAdvance(m_title) + 4, metrics.height());
        painter.fillRect(text, palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine, m_title);
    }

  private:
    QString m_title;
};

QWidget* CreateControl(const res::DialogItem& item, QWidget* parent) {
    const QString text = item.text[0] == '\0' ? QString() : Tr(item.text);
    switch (item.kind) {
        case res::ControlKind::kIpAddress:
            return new CIpAddressCtrl(parent);
        case res::ControlKind::kEdit: {
            auto* edit = new QLineEdit(parent);
            edit->setFocusPolicy(Qt::StrongFocus);
            return edit;
        }
        case res::ControlKind::kButton:
        case res::ControlKind::kDefButton: {
            auto* button = new QPushButton(text, parent);
            button->setFocusPolicy(Qt::StrongFocus);
            button->setDefault(item.kind == res::ControlKind::kDefButton);
            return button;
        }
        case res::ControlKind::kFileList:
            return new CFileListView(parent);
        case res::ControlKind::kLabel:
        case res::ControlKind::kPlainLabel: {
            auto* label = new QLabel(text, parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            return label;
        }
        case res::ControlKind::kProgress: {
            auto* progress = new QProgressBar(parent);
            progress->setRange(0, 100);
            progress->setValue(0);
            progress->setTextVisible(false);
            return progress;
        }
        case res::ControlKind::kLogBox:
            return new CLogBox(parent);
        case res::ControlKind::kGroupBox:
            return new CGroupBox(text, parent);
        case res::ControlKind::kCheckBox: {
            auto* box = new QCheckBox(text, parent);
            box->setFocusPolicy(Qt::StrongFocus);
            return box;
        }
        case res::ControlKind::kComboBox: {
            auto* box = new QComboBox(parent);
            box->setFocusPolicy(Qt::StrongFocus);
            return box;
        }
        case res::ControlKind::kIcon: {
            auto* icon = new QLabel(parent);
            icon->setPixmap(WindowIcon().pixmap(32, 32));
            icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            icon->setAttribute(Qt::WA_TransparentForMouseEvents);
            return icon;
        }
    }
    return nullptr;
}

}  // namespace

DialogControls BuildDialog(QDialog& dialog, const res::DialogTemplate& tmpl,
                           std::span<const res::DialogItem> items) {
    dialog.setFont(DialogFont());
    dialog.setWindowTitle(Tr(tmpl.title));
    const DialogUnits units(dialog.font());
    dialog.setFixedSize(units.MapSize(tmpl.cx, tmpl.cy));

    DialogControls controls;
    std::vector<QWidget*> groups;
    for (const res::DialogItem& item : items) {
        QWidget* control = CreateControl(item, &dialog);
        if (!control) {
            continue;
        }
        control->setGeometry(units.MapRect(item.x, item.y, item.cx, item.cy));
        control->setProperty("controlId", item.id);
        if (item.kind == res::ControlKind::kGroupBox) {
            groups.push_back(control);
        }
        if (item.id != res::kIdcStatic) {
            controls.Add(item.id, control);
        }
    }
    // Group boxes only frame other controls: keep them at the bottom so
    // they never cover what they frame.
    for (QWidget* group : groups) {
        group->lower();
    }
    return controls;
}

QIcon WindowIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/kelvarin/kelvarin-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/kelvarin/kelvarin-256.png"), QSize(256, 256));
    return icon;
}

}  // namespace kelvarin
