// The file list: the files to pack, each with its size, and a total row.
//
// This is the model behind the window's list view. It holds data only (paths,
// sizes, check boxes, selection); the view formats it. The last row is always
// the total row. Views follow changes through FileListObserver.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

// At most this many file rows; the total row comes on top.
inline constexpr int kMaxFiles = 50;

// A size in bytes as the list shows it, in hundredths of a KiB: bytes / 1024
// rounded to two decimals, halves to even, as "%.2f" rounds (1000 bytes ->
// 98, i.e. 0.98k).
std::uint64_t KiBHundredths(std::uint64_t bytes);

// Receives every change of a FileListModel, before and after it happens, so a
// view can keep its rows and selection in step.
class FileListObserver {
  public:
    virtual ~FileListObserver() = default;
    // A row is about to be inserted at index row / has been inserted.
    virtual void BeforeInsertRow(int row) = 0;
    virtual void AfterInsertRow(int row) = 0;
    // The row at index row is about to be removed / has been removed.
    virtual void BeforeRemoveRow(int row) = 0;
    virtual void AfterRemoveRow(int row) = 0;
    // The data or check box of the row at index row changed.
    virtual void RowChanged(int row) = 0;
};

// The list of files to pack. A new list holds only the total row.
class FileListModel {
  public:
    FileListModel();

    // Sets the observer told of every change (nullptr for none); not owned.
    void SetObserver(FileListObserver* observer) { m_observer = observer; }

    // Rows in all, the total row included.
    int RowCount() const { return static_cast<int>(m_rows.size()); }

    // File rows, the total row excluded.
    int FileCount() const { return RowCount() - 1; }

    // True for the last row, the total row.
    bool IsTotalRow(int row) const { return row == RowCount() - 1; }

    // The path of file row `row`; empty for the total row or out of range.
    const std::string& FilePath(int row) const;

    // The size of file row `row` measured when it was added; nothing when the
    // file could not be opened, for the total row and out of range.
    std::optional<std::uint64_t> FileSize(int row) const;

    // The paths of all file rows, in list order.
    std::vector<std::string> FilePaths() const;

    // The total row's size in KiB: the sum, in single precision, of the file
    // rows' sizes as shown (each rounded to hundredths; unreadable ones 0).
    float TotalKiB() const { return m_totalKiB; }

    // The total row's size as shown ("%.2f" of TotalKiB) taken back to bytes
    // and truncated: what the packer's advisory check compares with the
    // capacity. 131072 for a list showing 128.00k.
    std::uint64_t ListedBytes() const;

    // Check box of a row; false when out of range.
    bool IsChecked(int row) const;

    // Sets or clears a row's check box; ignored when out of range.
    void SetChecked(int row, bool checked);

    // Selects or deselects a row; ignored when out of range.
    void SetSelected(int row, bool selected);

    // Indices of the selected rows, ascending.
    std::vector<int> SelectedRows() const;

    // Adds the file at path with its size, or as unreadable when it cannot be
    // opened as a regular file. Returns false, changing nothing, for a path
    // already listed (exact byte comparison) or a list already full.
    bool AddFile(const std::string& path);

    // True when a file row's path equals path exactly.
    bool FindFile(const std::string& path) const;

    // Removes file row index and rebuilds the total row. The total row and
    // indices out of range are ignored.
    void RemoveRow(int index);

    // Replaces the total row with one computed from the file rows.
    void RefreshTotal();

    // The Delete key: removes every selected file row, highest index first.
    void OnDeleteKey();

    // The check-box sweep: removes every file row whose box is clear, from the
    // last row to the first. Returns true when a row was removed.
    bool SweepUnchecked();

  private:
    struct Row {
        std::string path;
        std::optional<std::uint64_t> size;
        bool isTotal = false;
        bool checked = false;
        bool selected = false;
    };

    bool InRange(int row) const { return row >= 0 && row < RowCount(); }
    void InsertRow(int index, Row row);
    void EraseRow(int index);

    std::vector<Row> m_rows;
    float m_totalKiB = 0.0f;
    FileListObserver* m_observer = nullptr;
};

}  // namespace kelvarin
