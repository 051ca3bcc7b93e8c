// The file list adapter and view.
#include "file_list_view.h"

#include "dialog_units.h"
#include "res/dialogs.h"
#include "res/strings.h"
#include "translate.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstdio>

namespace kelvarin {

namespace {

QString Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromUtf8(text);
}

}  // namespace

QString SizeText(std::uint64_t bytes) {
    return Format(res::kSizeFormat, static_cast<double>(bytes) * 0.0009765625);
}

QString TotalRowText(int count) {
    return QCoreApplication::translate("Kelvarin", res::kTotalRowFormat, nullptr, count);
}

QString CellText(const FileListModel& files, int row, int column) {
    if (row < 0 || row >= files.RowCount()) {
        return {};
    }
    if (files.IsTotalRow(row)) {
        switch (column) {
            case kColumnStatus:
                return Tr(res::kTotalText);
            case kColumnLength:
                return Format(res::kSizeFormat, static_cast<double>(files.TotalKiB()));
            case kColumnName:
                return TotalRowText(files.FileCount());
            default:
                return {};
        }
    }
    switch (column) {
        case kColumnLength: {
            const std::optional<std::uint64_t> size = files.FileSize(row);
            return size ? SizeText(*size) : Tr(res::kOpenErrorText);
        }
        case kColumnName: {
            const std::string& path = files.FilePath(row);
            return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
        }
        default:
            return {};
    }
}

CFileListAdapter::CFileListAdapter(FileListModel& files, QObject* parent)
    : QAbstractTableModel(parent), m_files(files) {
    m_files.SetObserver(this);
}

CFileListAdapter::~CFileListAdapter() {
    m_files.SetObserver(nullptr);
}

int CFileListAdapter::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_files.RowCount();
}

int CFileListAdapter::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CFileListAdapter::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const QString text = CellText(m_files, index.row(), index.column());
            return text.isEmpty() ? QVariant() : QVariant(text);
        }
        case Qt::CheckStateRole:
            if (index.column() == kColumnStatus) {
                return m_files.IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
            }
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CFileListAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return Tr(res::kColumnHeadings[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags CFileListAdapter::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kColumnStatus) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool CFileListAdapter::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kColumnStatus || role != Qt::CheckStateRole) {
        return false;
    }
    m_files.SetChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

void CFileListAdapter::BeforeInsertRow(int row) {
    beginInsertRows(QModelIndex(), row, row);
}

void CFileListAdapter::AfterInsertRow(int) {
    endInsertRows();
}

void CFileListAdapter::BeforeRemoveRow(int row) {
    beginRemoveRows(QModelIndex(), row, row);
}

void CFileListAdapter::AfterRemoveRow(int) {
    endRemoveRows();
}

void CFileListAdapter::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

CFileListView::CFileListView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Rows as high as a line of text, like a report-style list.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

void CFileListView::SetAdapter(CFileListAdapter* adapter) {
    m_adapter = adapter;
    setModel(adapter);
    if (!adapter) {
        return;
    }
    const double scale = DialogUnits(font()).BaseX() / res::kDesignBaseX;
    for (int column = 0; column < kColumnCount; ++column) {
        setColumnWidth(column, static_cast<int>(res::kFileListColumnWidths[column] * scale + 0.5));
    }
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CFileListView::SyncSelection);
}

void CFileListView::SyncSelection() {
    if (!m_adapter) {
        return;
    }
    FileListModel& files = m_adapter->Files();
    for (int row = 0; row < files.RowCount(); ++row) {
        files.SetSelected(row, selectionModel()->isRowSelected(row, QModelIndex()));
    }
}

void CFileListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    emit listDblClk();
}

void CFileListView::keyPressEvent(QKeyEvent* event) {
    emit listKeyDown(event->key());
    QTableView::keyPressEvent(event);
}

}  // namespace kelvarin
