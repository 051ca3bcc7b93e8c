// Builds a dialog's controls from its layout table.
#pragma once

#include "dialog_units.h"
#include "res/dialogs.h"

#include <QDialog>

#include <map>
#include <span>

namespace kelvarin {

// The controls of one dialog by identifier. Labels and group boxes have no
// identifier of their own and are not listed.
class DialogControls {
  public:
    // The control with identifier id as type T; nullptr when there is none
    // or it is of another type.
    template <typename T>
    T* Get(int id) const {
        auto it = m_controls.find(id);
        return it == m_controls.end() ? nullptr : qobject_cast<T*>(it->second);
    }

    // Records the control made for id.
    void Add(int id, QWidget* control) { m_controls[id] = control; }

  private:
    std::map<int, QWidget*> m_controls;
};

// Gives dialog the dialog font, the template's title and fixed client size,
// then creates the table's controls in order (which is the tab order), each
// placed by its dialog-unit rectangle. Group boxes go behind the controls
// they frame; labels and group boxes let mouse events through to the dialog.
DialogControls BuildDialog(QDialog& dialog, const res::DialogTemplate& tmpl,
                           std::span<const res::DialogItem> items);

// The window icon (icon 128).
QIcon WindowIcon();

}  // namespace kelvarin
