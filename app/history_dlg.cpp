// The history: the journal read, shown as a table.
#include "history_dlg.h"

#include "ascii.h"
#include "catalog.h"
#include "journal.h"
#include "res/strings.h"
#include "translate.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelvarin {

namespace {

// The newest records shown.
constexpr std::size_t kShown = 500;

QString Visible(const std::string& text) {
    return QString::fromStdString(VisibleText(text));
}

}  // namespace

CHistoryDlg::CHistoryDlg(const std::string& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(Tr(res::kHistoryTitle));
    auto* layout = new QVBoxLayout(this);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("historyProblem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->hide();
    layout->addWidget(m_problem);
    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("historyTable"));
    m_table->setHorizontalHeaderLabels({Tr(res::kHistoryTime), Tr(res::kHistoryOperation),
                                        Tr(res::kHistoryDevice), Tr(res::kHistoryUser),
                                        Tr(res::kHistoryImage), Tr(res::kHistoryOutcome)});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);
    auto* close = new QPushButton(Tr(res::kCloseText), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(860, 420);

    const MessageCatalog catalog(LanguageFromEnvironment());
    const std::optional<std::string> where =
        path.empty() ? DefaultJournalPath() : std::optional(path);
    std::string error;
    std::unique_ptr<Journal> journal;
    if (where) {
        journal = Journal::OpenForReading(*where, &error);
    }
    if (!journal) {
        m_problem->setText(QString::fromStdString(catalog.Text(
            MessageId::kJournalUnreadable, {where.value_or(""), where ? error : "no state folder"})));
        m_problem->show();
        return;
    }
    JournalQuery query;
    query.newest = kShown;
    const std::vector<JournalEntry> entries = journal->Read(query, &error);
    m_table->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const JournalEntry& entry = entries[static_cast<std::size_t>(row)];
        const QString outcome = entry.phase == "begin"
                                    ? Tr(res::kHistoryBegun)
                                    : QString::fromStdString(catalog.OutcomeWord(entry.outcome));
        const QString cells[] = {Visible(entry.time),
                                 Visible(entry.operation),
                                 Visible(entry.device),
                                 Visible(entry.user),
                                 entry.imageSha256.empty() ? QStringLiteral("-")
                                                           : Visible(entry.imageSha256.substr(0, 12)),
                                 outcome};
        for (int column = 0; column < 6; ++column) {
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    m_table->resizeColumnsToContents();
    m_table->scrollToBottom();
}

}  // namespace kelvarin
