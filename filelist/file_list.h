// The file list: the files to pack, each with its size, and a total row.
//
// This is the model behind the window's list view and the packer's input.
// Rows hold three texts (status, length, file name) and a check box; the last
// row is always the total row. Views follow it through FileListObserver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvarin {

// At most this many file rows; the total row comes on top.
inline constexpr int kMaxFiles = 50;

// The list's columns, left to right.
enum FileListColumn : int {
    kColumnStatus = 0,
    kColumnLength = 1,
    kColumnName = 2,
    kColumnCount = 3
};

// Fixed texts of the list.
inline constexpr const char* kTotalText = "总计";
inline constexpr const char* kOpenErrorText = "打开错误";

// Column headings and their widths in pixels.
inline constexpr const char* kColumnHeadings[kColumnCount] = {"状态", "长度", "文件名"};
inline constexpr int kColumnWidths[kColumnCount] = {50, 80, 300};

// A size in bytes as the list shows it: KiB with two decimals and a lowercase
// k ("%.2fk"), e.g. 1000 bytes -> "0.98k".
std::string SizeText(std::uint64_t bytes);

// The total row's file-name text for count file rows.
std::string TotalRowText(int count);

// The decimal number at the start of text, as strtod reads it; 0 when there is
// none (for example "打开错误" or an empty text).
double LeadingNumber(const std::string& text);

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
    // The texts or check box of the row at index row changed.
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

    // Text of a cell; an empty text for a row or column out of range.
    const std::string& Text(int row, int column) const;

    // The path of file row `row` (its file-name text); empty when out of range.
    const std::string& FilePath(int row) const { return Text(row, kColumnName); }

    // The paths of all file rows, in list order.
    std::vector<std::string> FilePaths() const;

    // Check box of a row; false when out of range.
    bool IsChecked(int row) const;

    // Sets or clears a row's check box; ignored when out of range.
    void SetChecked(int row, bool checked);

    // Selection of a row; false when out of range.
    bool IsSelected(int row) const;

    // Selects or deselects a row; ignored when out of range.
    void SetSelected(int row, bool selected);

    // Indices of the selected rows, ascending.
    std::vector<int> SelectedRows() const;

    // Adds the file at path: its row shows its size, or "打开错误" when it
    // cannot be opened as a regular file. Returns false, changing nothing, for
    // a path already listed (exact byte comparison) or a list already full.
    bool AddFile(const std::string& path);

    // True when a row's file-name text equals path exactly.
    bool FindFile(const std::string& path) const;

    // Removes file row index and rebuilds the total row. The total row and
    // indices out of range are ignored.
    void RemoveRow(int index);

    // Replaces the total row with one computed from the file rows: the sum of
    // the displayed KiB values, in single precision, and the file count.
    void RefreshTotal();

    // The Delete key: removes every selected file row, highest index first.
    void OnDeleteKey();

    // The check-box sweep: removes every file row whose box is clear, from the
    // last row to the first. Returns true when a row was removed.
    bool SweepUnchecked();

  private:
    struct Row {
        std::string texts[kColumnCount];
        bool checked = false;
        bool selected = false;
    };

    void InsertRow(int index, Row row);
    void EraseRow(int index);

    std::vector<Row> m_rows;
    FileListObserver* m_observer = nullptr;
};

}  // namespace kelvarin
