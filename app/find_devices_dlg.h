// CFindDevicesDlg: finding the devices on the networks of this machine's
// interfaces (or on ranges the operator types), off the window's thread,
// and picking one to connect to.
#pragma once

#include "job.h"
#include "job_report.h"

#include <QDialog>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QThread;

namespace kelvarin {

// The ranges around this machine's IPv4 interfaces: each network, or the
// /24 around the interface's address when the network is larger.
std::vector<std::string> LocalRanges();

// A table of the devices a scan finds (address, unit, who it says it is,
// the image it holds, whether that is the listed files' image), filled as
// they answer; a scan runs until done or stopped, and double-clicking a
// row (or 使用) picks its device.
class CFindDevicesDlg : public QDialog {
    Q_OBJECT

  public:
    // plan: the scan to run (its ranges filled in from LocalRanges when
    // empty; its source, when it has files, the image devices are compared
    // with).
    explicit CFindDevicesDlg(JobPlan plan, QWidget* parent = nullptr);
    ~CFindDevicesDlg() override;

    // The device picked: its address and port; nothing when none was.
    const std::optional<FleetTarget>& Picked() const { return m_picked; }

    // For tests.
    QTableWidget* Table() const { return m_table; }
    QLineEdit* Ranges() const { return m_ranges; }

  public slots:
    // Scans the ranges typed; a scan under way is stopped first.
    void OnFind();
    // Asks the scan under way to stop after its requests in flight.
    void OnStop();

  protected:
    void reject() override;

  private:
    void AddRows(const DeviceReport& device);
    void Finished(const JobReport& report);
    void Pick(int row);
    void StopAndWait();

    JobPlan m_plan;
    QLineEdit* m_ranges = nullptr;
    QLineEdit* m_port = nullptr;
    QPushButton* m_find = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_use = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_stopAsked{false};
    std::vector<FleetTarget> m_rows;  // each row's device
    std::optional<FleetTarget> m_picked;
};

}  // namespace kelvarin
