// Finding devices: a scan job on a thread of its own, its devices shown as
// they answer.
#include "find_devices_dlg.h"

#include "catalog.h"
#include "ipv4.h"
#include "job_run.h"
#include "journal.h"
#include "modbus_frame.h"
#include "net.h"
#include "res/strings.h"
#include "translate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <sstream>

namespace kelvarin {

namespace {

// Tells the dialog, on its own thread, of each address as it is done.
class ScanToDialog : public JobObserver {
  public:
    ScanToDialog(CFindDevicesDlg* dialog, std::function<void(const DeviceReport&)> add)
        : m_dialog(dialog), m_add(std::move(add)) {}
    void OnScanned(const DeviceReport& device) override {
        QMetaObject::invokeMethod(m_dialog, [add = m_add, device] { add(device); },
                                  Qt::QueuedConnection);
    }

  private:
    CFindDevicesDlg* m_dialog;
    std::function<void(const DeviceReport&)> m_add;
};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

std::vector<std::string> LocalRanges() {
    std::vector<std::string> ranges;
    for (const net::LocalNetwork& network : net::LocalNetworks()) {
        const int prefix = std::max(network.prefix, 24);
        const std::uint32_t mask = prefix >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix);
        const std::string range =
            DottedQuadText(network.address & mask) + "/" + std::to_string(prefix);
        if (std::find(ranges.begin(), ranges.end(), range) == ranges.end()) {
            ranges.push_back(range);
        }
    }
    return ranges;
}

CFindDevicesDlg::CFindDevicesDlg(JobPlan plan, QWidget* parent)
    : QDialog(parent), m_plan(std::move(plan)) {
    setObjectName(QStringLiteral("findDevicesDialog"));
    setWindowTitle(Tr(res::kFindTitle));
    if (m_plan.ranges.empty()) {
        m_plan.ranges = LocalRanges();
    }
    auto* layout = new QVBoxLayout(this);
    auto* where = new QHBoxLayout;
    where->addWidget(new QLabel(Tr(res::kFindRangesLabel), this));
    QString ranges;
    for (const std::string& range : m_plan.ranges) {
        ranges += (ranges.isEmpty() ? "" : " ") + Text(range);
    }
    m_ranges = new QLineEdit(ranges, this);
    m_ranges->setObjectName(QStringLiteral("findRanges"));
    where->addWidget(m_ranges, 1);
    where->addWidget(new QLabel(Tr(res::kFindPortLabel), this));
    m_port = new QLineEdit(QString::number(m_plan.port), this);
    m_port->setObjectName(QStringLiteral("findPort"));
    m_port->setMaximumWidth(70);
    where->addWidget(m_port);
    m_find = new QPushButton(Tr(res::kFindStart), this);
    m_find->setObjectName(QStringLiteral("find"));
    m_find->setDefault(true);
    m_stop = new QPushButton(Tr(res::kFindStop), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setEnabled(false);
    where->addWidget(m_find);
    where->addWidget(m_stop);
    layout->addLayout(where);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(QStringLiteral("findTable"));
    m_table->setHorizontalHeaderLabels({Tr(res::kFindAddress), Tr(res::kFindUnit),
                                        Tr(res::kFindIdentity), Tr(res::kFindImage),
                                        Tr(res::kFindCurrent)});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);
    auto* bottom = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("findStatus"));
    bottom->addWidget(m_status, 1);
    m_use = new QPushButton(Tr(res::kFindUse), this);
    m_use->setObjectName(QStringLiteral("use"));
    m_use->setEnabled(false);
    auto* close = new QPushButton(Tr(res::kCloseText), this);
    bottom->addWidget(m_use);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    resize(900, 420);

    connect(m_find, &QPushButton::clicked, this, &CFindDevicesDlg::OnFind);
    connect(m_stop, &QPushButton::clicked, this, &CFindDevicesDlg::OnStop);
    connect(close, &QPushButton::clicked, this, &CFindDevicesDlg::reject);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_use->setEnabled(!m_table->selectedItems().isEmpty()); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { Pick(row); });
    connect(m_use, &QPushButton::clicked, this, [this] {
        const QList<QTableWidgetItem*> selected = m_table->selectedItems();
        if (!selected.isEmpty()) {
            Pick(selected.front()->row());
        }
    });
}

CFindDevicesDlg::~CFindDevicesDlg() {
    StopAndWait();
}

void CFindDevicesDlg::OnFind() {
    StopAndWait();
    JobPlan plan = m_plan;
    plan.ranges.clear();
    std::istringstream typed(m_ranges->text().toStdString());
    for (std::string range; typed >> range;) {
        plan.ranges.push_back(range);
    }
    bool ok = false;
    plan.port = m_port->text().toInt(&ok);
    if (!ok || plan.port < 1 || plan.port > 65535) {
        m_status->setText(Tr(res::kFindBadPort));
        return;
    }
    m_table->setRowCount(0);
    m_rows.clear();
    m_status->setText(Tr(res::kFindSearching));
    m_find->setEnabled(false);
    m_stop->setEnabled(true);
    m_stopAsked.store(false);
    m_thread = QThread::create([this, plan] {
        ScanToDialog observer(this, [this](const DeviceReport& device) { AddRows(device); });
        const JobReport report = RunJob(plan, observer, &m_stopAsked);
        QMetaObject::invokeMethod(this, [this, report] { Finished(report); }, Qt::QueuedConnection);
    });
    m_thread->start();
}

void CFindDevicesDlg::OnStop() {
    m_stopAsked.store(true);
    m_stop->setEnabled(false);
}

void CFindDevicesDlg::reject() {
    StopAndWait();
    QDialog::reject();
}

void CFindDevicesDlg::StopAndWait() {
    if (!m_thread) {
        return;
    }
    m_stopAsked.store(true);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    // Rows it posted but the dialog has not shown yet are of a scan that is over.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void CFindDevicesDlg::AddRows(const DeviceReport& device) {
    const MessageCatalog catalog(LanguageFromEnvironment());
    for (const UnitScan& unit : device.facts.scan) {
        if (!unit.identity.Answered()) {
            continue;
        }
        // The list's files, when there are any, were packed by the job and
        // each unit compared with them.
        const QString current = !unit.current   ? QStringLiteral("-")
                                : *unit.current ? Tr(res::kFindYes)
                                                : Tr(res::kFindNo);
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QString cells[] = {Text(device.facts.target.address + ":" +
                                      std::to_string(device.facts.target.port)),
                                 QString::number(unit.unit), Text(catalog.ScanIdentity(unit)),
                                 Text(catalog.ScanImage(unit, 12)), current};
        for (int column = 0; column < 5; ++column) {
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        m_rows.push_back({device.facts.target.address, device.facts.target.port, unit.unit});
    }
    m_table->resizeColumnsToContents();
}

void CFindDevicesDlg::Finished(const JobReport& report) {
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    const MessageCatalog catalog(LanguageFromEnvironment());
    if (report.refusal) {
        QStringList lines;
        for (const std::string& line : catalog.RefusalLines(*report.refusal, nullptr)) {
            lines << Text(line);
        }
        m_status->setText(lines.join(' '));
    } else {
        m_status->setText(Text(catalog.ScanSummary(report)));
    }
    m_find->setEnabled(true);
    m_stop->setEnabled(false);
}

void CFindDevicesDlg::Pick(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return;
    }
    m_picked = m_rows[static_cast<std::size_t>(row)];
    accept();
}

}  // namespace kelvarin
