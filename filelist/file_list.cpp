// The file list model: rows, the total row and the 50-file limit.
#include "file_list.h"

#include "regular_file.h"

#include <cstdio>
#include <cstdlib>

namespace kelvarin {

std::string SizeText(std::uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2fk", static_cast<double>(bytes) * 0.0009765625);
    return text;
}

std::string TotalRowText(int count) {
    char text[128];
    std::snprintf(text, sizeof text, "文件数量：%d  文件最大上限是50，长度上限128K", count);
    return text;
}

double LeadingNumber(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

FileListModel::FileListModel() {
    RefreshTotal();
}

const std::string& FileListModel::Text(int row, int column) const {
    static const std::string empty;
    if (row < 0 || row >= RowCount() || column < 0 || column >= kColumnCount) {
        return empty;
    }
    return m_rows[static_cast<std::size_t>(row)].texts[column];
}

std::vector<std::string> FileListModel::FilePaths() const {
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(FileCount()));
    for (int row = 0; row < FileCount(); ++row) {
        paths.push_back(FilePath(row));
    }
    return paths;
}

bool FileListModel::IsChecked(int row) const {
    return row >= 0 && row < RowCount() && m_rows[static_cast<std::size_t>(row)].checked;
}

void FileListModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= RowCount() || m_rows[static_cast<std::size_t>(row)].checked == checked) {
        return;
    }
    m_rows[static_cast<std::size_t>(row)].checked = checked;
    if (m_observer) {
        m_observer->RowChanged(row);
    }
}

bool FileListModel::IsSelected(int row) const {
    return row >= 0 && row < RowCount() && m_rows[static_cast<std::size_t>(row)].selected;
}

void FileListModel::SetSelected(int row, bool selected) {
    if (row >= 0 && row < RowCount()) {
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
    auto size = MeasureFile(path);
    // The total row becomes the new file row; a fresh total row follows it.
    int row = RowCount() - 1;
    Row& target = m_rows[static_cast<std::size_t>(row)];
    target.texts[kColumnStatus].clear();
    target.texts[kColumnLength] = size ? SizeText(*size) : kOpenErrorText;
    target.texts[kColumnName] = path;
    target.checked = true;
    if (m_observer) {
        m_observer->RowChanged(row);
    }
    RefreshTotal();
    return true;
}

bool FileListModel::FindFile(const std::string& path) const {
    for (int row = RowCount() - 1; row >= 0; --row) {
        if (m_rows[static_cast<std::size_t>(row)].texts[kColumnName] == path) {
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
    // The sum adds the displayed, rounded KiB values, as the row shows them.
    int count = 0;
    float sum = 0.0f;
    for (const Row& row : m_rows) {
        if (row.texts[kColumnStatus] == kTotalText) {
            continue;
        }
        ++count;
        sum += static_cast<float>(LeadingNumber(row.texts[kColumnLength]));
    }
    if (!m_rows.empty() && m_rows.back().texts[kColumnStatus] == kTotalText) {
        EraseRow(RowCount() - 1);
    }
    char length[64];
    std::snprintf(length, sizeof length, "%.2fk", static_cast<double>(sum));
    Row total;
    total.texts[kColumnStatus] = kTotalText;
    total.texts[kColumnLength] = length;
    total.texts[kColumnName] = TotalRowText(count);
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
