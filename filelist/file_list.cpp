// The file list model: rows, the total row and the 50-file limit.
#include "file_list.h"

#include "files.h"

#include <cmath>

namespace kelvarin {

std::uint64_t KiBHundredths(std::uint64_t bytes) {
    // bytes * 100 / 1024 = bytes * 25 / 256, split so it cannot overflow.
    const std::uint64_t whole = bytes / 256 * 25;
    const std::uint64_t part = bytes % 256 * 25;
    std::uint64_t hundredths = whole + part / 256;
    const std::uint64_t rest = part % 256;
    if (rest > 128 || (rest == 128 && hundredths % 2 == 1)) {
        ++hundredths;
    }
    return hundredths;
}

FileListModel::FileListModel() {
    RefreshTotal();
}

const std::string& FileListModel::FilePath(int row) const {
    static const std::string empty;
    return InRange(row) ? m_rows[static_cast<std::size_t>(row)].path : empty;
}

std::optional<std::uint64_t> FileListModel::FileSize(int row) const {
    return InRange(row) ? m_rows[static_cast<std::size_t>(row)].size : std::nullopt;
}

std::vector<std::string> FileListModel::FilePaths() const {
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(FileCount()));
    for (int row = 0; row < FileCount(); ++row) {
        paths.push_back(FilePath(row));
    }
    return paths;
}

std::uint64_t FileListModel::ListedBytes() const {
    // The shown total is TotalKiB rounded to hundredths. A float times 100 is
    // exact in a double, and nearbyint rounds halves to even as "%.2f" does;
    // hundredths / 100.0 is the double strtod reads back from that text.
    const double hundredths = std::nearbyint(static_cast<double>(m_totalKiB) * 100.0);
    const double bytes = hundredths / 100.0 * 1024.0;
    if (bytes >= 18446744073709551615.0) {
        return UINT64_MAX;
    }
    return static_cast<std::uint64_t>(bytes);
}

bool FileListModel::IsChecked(int row) const {
    return InRange(row) && m_rows[static_cast<std::size_t>(row)].checked;
}

void FileListModel::SetChecked(int row, bool checked) {
    if (!InRange(row) || m_rows[static_cast<std::size_t>(row)].checked == checked) {
        return;
    }
    m_rows[static_cast<std::size_t>(row)].checked = checked;
    if (m_observer) {
        m_observer->RowChanged(row);
    }
}

void FileListModel::SetSelected(int row, bool selected) {
    if (InRange(row)) {
        m_rows[static_cast<std::size_t>(row)].selected = selected;
    }
}

std::vector<int> FileListModel::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(); ++row) {
        if (m_rows[static_cast<std::size_t>(row)].selected) {
            rows.push_back(row);
        }
    }
    return rows;
}

bool FileListModel::AddFile(const std::string& path) {
    if (FindFile(path) || FileCount() >= kMaxFiles) {
        return false;
    }
    // The total row becomes the new file row; a fresh total row follows it.
    const int row = RowCount() - 1;
    Row& target = m_rows[static_cast<std::size_t>(row)];
    target.path = path;
    target.size = MeasureFile(path);
    target.isTotal = false;
    target.checked = true;
    if (m_observer) {
        m_observer->RowChanged(row);
    }
    RefreshTotal();
    return true;
}

bool FileListModel::FindFile(const std::string& path) const {
    for (int row = RowCount() - 1; row >= 0; --row) {
        const Row& candidate = m_rows[static_cast<std::size_t>(row)];
        if (!candidate.isTotal && candidate.path == path) {
            return true;
        }
    }
    return false;
}

void FileListModel::RemoveRow(int index) {
    if (index < 0 || index >= RowCount() - 1) {
        return;
    }
    EraseRow(index);
    RefreshTotal();
}

void FileListModel::RefreshTotal() {
    // The sum adds the shown, rounded KiB values in single precision, as the
    // rows display them.
    float sum = 0.0f;
    for (const Row& row : m_rows) {
        if (!row.isTotal && row.size) {
            sum += static_cast<float>(static_cast<double>(KiBHundredths(*row.size)) / 100.0);
        }
    }
    if (!m_rows.empty() && m_rows.back().isTotal) {
        EraseRow(RowCount() - 1);
    }
    m_totalKiB = sum;
    Row total;
    total.isTotal = true;
    InsertRow(RowCount(), std::move(total));
}

void FileListModel::OnDeleteKey() {
    std::vector<int> selected = SelectedRows();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        RemoveRow(*it);
    }
}

bool FileListModel::SweepUnchecked() {
    bool removed = false;
    for (int row = RowCount() - 2; row >= 0; --row) {
        if (!m_rows[static_cast<std::size_t>(row)].checked) {
            RemoveRow(row);
            removed = true;
        }
    }
    return removed;
}

void FileListModel::InsertRow(int index, Row row) {
    if (m_observer) {
        m_observer->BeforeInsertRow(index);
    }
    m_rows.insert(m_rows.begin() + index, std::move(row));
    if (m_observer) {
        m_observer->AfterInsertRow(index);
    }
}

void FileListModel::EraseRow(int index) {
    if (m_observer) {
        m_observer->BeforeRemoveRow(index);
    }
    m_rows.erase(m_rows.begin() + index);
    if (m_observer) {
        m_observer->AfterRemoveRow(index);
    }
}

}  // namespace kelvarin
