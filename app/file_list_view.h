// The file list on screen: a table model over FileListModel, which formats
// every text the list shows, and the report-style view that shows it.
#pragma once

#include "file_list.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <cstdint>

namespace kelvarin {

// The list's columns, left to right.
enum FileListColumn : int {
    kColumnStatus = 0,
    kColumnLength = 1,
    kColumnName = 2,
    kColumnCount = 3
};

// A file's size as the list shows it: KiB with two decimals and a lowercase
// k, e.g. 1000 bytes -> "0.98k".
QString SizeText(std::uint64_t bytes);

// The total row's file-name text for count file rows.
QString TotalRowText(int count);

// The text of a cell of files, as the list shows it: for a file row nothing,
// its size (or "打开错误") and its path; for the total row "总计", the summed
// size and the file count. Empty for a cell out of range.
QString CellText(const FileListModel& files, int row, int column);

// Presents a FileListModel to Qt views: three columns with their headings,
// a check box in column 0 of every row. Follows every change of the model
// through its observer interface; the model must outlive the adapter.
class CFileListAdapter : public QAbstractTableModel, public FileListObserver {
    Q_OBJECT

  public:
    explicit CFileListAdapter(FileListModel& files, QObject* parent = nullptr);
    ~CFileListAdapter() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Sets or clears a row's check box (column 0, check state role); false
    // for any other cell or role.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The model shown.
    FileListModel& Files() { return m_files; }

    void BeforeInsertRow(int row) override;
    void AfterInsertRow(int row) override;
    void BeforeRemoveRow(int row) override;
    void AfterRemoveRow(int row) override;
    void RowChanged(int row) override;

  private:
    FileListModel& m_files;
};

// The list control: report view with full-row, multiple selection, a
// movable header, grid lines and check boxes. Keeps the model's selection
// flags in step with its own, so the model's Delete rule sees what the
// operator selected. Reports double-clicks anywhere in it and key presses.
class CFileListView : public QTableView {
    Q_OBJECT

  public:
    explicit CFileListView(QWidget* parent = nullptr);

    // Shows adapter's rows; the adapter must outlive the view or be reset
    // with SetAdapter(nullptr) first.
    void SetAdapter(CFileListAdapter* adapter);

  signals:
    // A double-click anywhere in the list, on a row or below the rows.
    void listDblClk();
    // A key pressed while the list has the focus (a Qt::Key value).
    void listKeyDown(int key);

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void SyncSelection();

    CFileListAdapter* m_adapter = nullptr;
};

}  // namespace kelvarin
