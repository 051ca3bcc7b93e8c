// CHistoryDlg: the journal's newest records, read only.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QTableWidget;

namespace kelvarin {

// A table of the journal's newest records (time, operation, device, user,
// the image's SHA-256 shortened, outcome), newest last, that nothing in it
// can change; a journal that cannot be read is said above the table.
class CHistoryDlg : public QDialog {
    Q_OBJECT

  public:
    // The newest records of the journal at path (empty: the default place).
    explicit CHistoryDlg(const std::string& path = {}, QWidget* parent = nullptr);

    // The table, for tests.
    QTableWidget* Table() const { return m_table; }

  private:
    QTableWidget* m_table = nullptr;
    QLabel* m_problem = nullptr;
};

}  // namespace kelvarin
