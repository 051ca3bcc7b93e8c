// The IPv4 address control: four fields, one tab stop.
#include "ip_address_ctrl.h"

#include "text_input.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace kelvarin {

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // The frame fills with the fields' own colour, enabled or not, so the
    // four fields read as one edit.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    auto* validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        // Only the first field is in the tab chain, through the frame's focus
        // proxy; the others take focus by click or by typing across.
        field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        field->installEventFilter(this);
        const int index = static_cast<int>(i);
        connect(field, &QLineEdit::textEdited, this, [this, index] { OnFieldEdited(index); });
        layout->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_fields[0]);
}

void CIpAddressCtrl::SetText(const QString& text) {
    const auto fields = ParseAddressFields(text.toStdString());
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const int value = fields ? (*fields)[i] : -1;
        m_fields[i]->setText(value < 0 ? QString() : QString::number(value));
    }
}

QString CIpAddressCtrl::Text() const {
    QStringList parts;
    for (const QLineEdit* field : m_fields) {
        parts << QString::number(field->text().toInt());
    }
    return parts.join(QLatin1Char('.'));
}

bool CIpAddressCtrl::IsBlank() const {
    for (const QLineEdit* field : m_fields) {
        if (!field->text().isEmpty()) {
            return false;
        }
    }
    return true;
}

int CIpAddressCtrl::IndexOf(const QObject* field) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i] == field) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CIpAddressCtrl::FocusField(int index, bool selectAll, bool cursorAtEnd) {
    QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        field->selectAll();
    } else {
        field->setCursorPosition(cursorAtEnd ? static_cast<int>(field->text().size()) : 0);
    }
}

void CIpAddressCtrl::OnFieldEdited(int index) {
    QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    if (field->text().toInt() > 255) {
        field->setText(QStringLiteral("255"));
    }
    // A full field moves on, as typing an address straight through expects.
    if (field->text().size() == 3 && field->cursorPosition() == 3 && index < 3) {
        FocusField(index + 1, true, false);
    }
}

bool CIpAddressCtrl::OnFieldKey(int index, int key, const QString& text) {
    QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    if (text == QStringLiteral(".")) {
        // A dot ends a field that holds a number; in an empty field it is ignored.
        if (index < 3 && !field->text().isEmpty()) {
            FocusField(index + 1, true, false);
        }
        return true;
    }
    switch (key) {
        case Qt::Key_Left:
            if (atStart && index > 0) {
                FocusField(index - 1, false, true);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (atEnd && index < 3) {
                FocusField(index + 1, false, false);
                return true;
            }
            break;
        case Qt::Key_Backspace:
            if (atStart && index > 0) {
                FocusField(index - 1, false, true);
                return true;
            }
            break;
        case Qt::Key_Home:
            FocusField(0, false, false);
            return true;
        case Qt::Key_End:
            FocusField(3, false, true);
            return true;
        default:
            break;
    }
    return false;
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            return false;
        }
        return OnFieldKey(index, key->key(), key->text());
    }
    return QFrame::eventFilter(watched, event);
}

bool CIpAddressCtrl::focusNextPrevChild(bool next) {
    // Tab leaves the control from its last field and Shift+Tab from its first,
    // so the focus chain never stops in the middle of the four fields.
    if (next) {
        m_fields[3]->setFocus(Qt::TabFocusReason);
    } else {
        m_fields[0]->setFocus(Qt::BacktabFocusReason);
    }
    return QFrame::focusNextPrevChild(next);
}

}  // namespace kelvarin
