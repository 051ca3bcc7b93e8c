// CIpAddressCtrl: an IPv4 address field made of four 0-255 fields.
#pragma once

#include <QFrame>

#include <array>

class QLineEdit;

namespace kelvarin {

// Four number fields separated by dots, framed like one edit. A typed dot or
// a third digit moves on to the next field; arrows and Backspace cross field
// borders; the whole control is one tab stop. Its text reads back as a dotted
// address, blank fields as 0.
class CIpAddressCtrl : public QFrame {
    Q_OBJECT

  public:
    explicit CIpAddressCtrl(QWidget* parent = nullptr);

    // Puts a dotted address into the fields (see ParseAddressFields); a text
    // that is no such address leaves every field blank.
    void SetText(const QString& text);

    // The address as dotted text, "0.0.0.0" when blank.
    QString Text() const;

    // True when every field is blank.
    bool IsBlank() const;

    // The field at index 0..3, for focus checks and typing in tests.
    QLineEdit* Field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    int IndexOf(const QObject* field) const;
    void FocusField(int index, bool selectAll, bool cursorAtEnd);
    void OnFieldEdited(int index);
    bool OnFieldKey(int index, int key, const QString& text);

    std::array<QLineEdit*, 4> m_fields{};
};

}  // namespace kelvarin
