// Dialog construction from the layout tables in res/dialogs.h.
#include "dialog_builder.h"

#include "file_list_view.h"
#include "ip_address_ctrl.h"
#include "log_box.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace kelvarin {

namespace {

QWidget* CreateControl(const res::DialogItem& item, QWidget* parent) {
    const QString text = QString::fromUtf8(item.text);
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
        case res::ControlKind::kGroupBox: {
            auto* group = new QGroupBox(text, parent);
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            return group;
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
    dialog.setWindowTitle(QString::fromUtf8(tmpl.title));
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
