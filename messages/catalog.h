// The message catalog: the log lines of the window and the command line, one
// table per language. Everything else reports outcomes as data and comes here
// for their words.
//
// The catalog is one table of entries, each a MessageId with its Chinese and
// its English text, numbered placeholders ({0}, {1}, ...) where the values go,
// so a language may order them as it needs. The compiler checks that every
// message has an entry in its place and that both texts use exactly the same
// placeholders.
#pragma once

#include "download.h"
#include "fleet.h"
#include "image_file.h"
#include "job_report.h"
#include "journal.h"
#include "packer.h"
#include "readback.h"
#include "site_folder.h"
#include "targets.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// How a front end names what of a job a refusal is about (the command
// line: its options; the window: its labels).
using FieldNames = std::function<std::string(PlanField)>;

// The languages the catalog speaks.
enum class Language {
    kChinese,  // Simplified Chinese, the product's own
    kEnglish,
};

// The language the environment asks for: the first of LC_ALL, LC_MESSAGES
// and LANG that is set and not empty decides; English when it names an
// English locale ("en", "en_GB.UTF-8", ...), Chinese otherwise (Chinese is
// the product's own language, so also when none is set).
Language LanguageFromEnvironment();

// Every log line there is, by what it says.
enum class MessageId : int {
    // Connecting.
    kConnected,      // {0} host, {1} port
    kConnectFailed,  // {0} host, {1} port
    kDisconnected,   //
    // Web options.
    kWebOptions,          // {0} the options, joined by kListSeparator
    kOptionContentTypes,  //
    kOptionGzip,          //
    kOptionSiteRoot,      // {0} folder
    kListSeparator,       //
    // Packing.
    kPacking,            //
    kMayExceedCapacity,  //
    kOpenFailed,         // {0} path
    kReadFailed,         // {0} path
    kTooLarge,           // {0} URL name
    kDuplicateUrl,       // {0} URL name
    kPackDone,           //
    kTooLargeNeeds,      // {0} URL name, {1} bytes its record needs (with web options)
    kNotFitting,         // {0} files that do not fit, {1} bytes they need, {2} bytes left
    kPastLimit,          // {0} files left out, {1} the limit, {2} their paths
    kNothingSent,        // {0} files not packed (all or nothing)
    kNothingWritten,     // {0} files not packed (all or nothing)
    // Sending.
    kSendStart,            //
    kDumpFailed,           // {0} path
    kChunkRejected,        // {0} bytes sent, {1} page offset, {2} file number (hex)
    kChunkNoReply,         // as kChunkRejected
    kChunkConnectionLost,  // as kChunkRejected
    kFailedChunks,         // {0} count
    kSendEnd,              //
    // Reading back.
    kVerifyStart,        //
    kVerifyEqual,        // {0} bytes
    kVerifyDifferent,    // {0} bytes that differ, {1} offset of the first
    kVerifyUnreadable,   // {0} why (a kWhy message)
    kVerifyNotDone,      //
    kWhyException,       // {0} exception code
    kWhyNoReply,         // {0} offset
    kWhyConnectionLost,  // {0} offset
    kWhyMalformed,       // {0} offset
    // A fleet of devices.
    kTargetDone,            // {0} target, {1} seconds
    kTargetFailed,          // {0} target, {1} why (a kReason message), {2} seconds
    kFleetSummary,          // {0} devices, {1} succeeded, {2} failed
    kReasonConnectFailed,   //
    kReasonChunks,          // {0} chunks that failed
    kReasonConnectionLost,  //
    kReasonDifferent,       // {0} bytes that differ, {1} offset of the first
    kReasonUnreadable,      // {0} why (a kWhy message)
    kReasonNotPacked,       // {0} files not packed
    // Comparing an image that lacks files.
    kVerifyNothing,  //
    kVerifyPartial,  // {0} files not packed
    // Image files.
    kImageUnreadable,        // {0} path
    kImageFarTooLarge,       // {0} path
    kImageLargerThanMemory,  // {0} path, {1} its bytes, {2} the memory's bytes
    kImageOddLength,         // {0} path, {1} its bytes
    kImageBroken,            // {0} path, {1} where and why
    kImageEmpty,             // {0} path
    kImageNotWritten,        // {0} path, {1} why
    // Folders named on the command line or in the options dialog.
    kNotAFolder,       // {0} the folder (after the option that names it)
    kNoFilesInFolder,  // {0} the folder
    // The targets file.
    kTargetsUnreadable,    // {0} path
    kTargetsFarTooLarge,   // {0} path
    kTargetsEmpty,         // {0} path
    kTargetsNotATarget,    // {0} path, {1} line, {2} its text
    kTargetsListedTwice,   // {0} path, {1} line, {2} target, {3} line listing it first
    kTargetsMoreProblems,  // {0} path, {1} bad lines not shown
    // Listing a site folder.
    kSiteSkipped,           // {0} path below the folder, {1} why (a kSkip message)
    kSkipDanglingLink,      //
    kSkipLinkLoop,          //
    kSkipNotAFile,          //
    kSkipUnreadableFolder,  //
    // Writing over an input.
    kOverwritesInput,  // {0} the option, {1} the file
    // Real networks: retries, reconnects, requests in flight, a stop.
    kChunkRetry,         // {0} bytes sent, {1} page offset, {2} file number (hex), {3} why
                         // (a kTry message), {4} retry number
    kReadRetry,          // {0} offset, {1} why (a kTry message), {2} retry number
    kTryNoReply,         //
    kTryWrong,           //
    kTryBusy,            //
    kTryConnectionLost,  //
    kReconnecting,       // {0} attempt
    kReconnected,        //
    kWindowFallback,     // {0} why (a kTry message)
    kSendInterrupted,    // {0} bytes from the start echoed, {1} image bytes
    kSendInterruptedUnsent,  //
    kVerifyInterrupted,  //
    kTargetCurrent,      // {0} target, {1} seconds
    kTraceFailed,        // {0} path
    kTraceCannotWrite,   // {0} path
    // Outputs that would destroy an input, a connect given up, a stop asked.
    kOverwritesImage,    // {0} the option, {1} the file
    kOverwritesTargets,  // {0} the option, {1} the file
    kOutputsCollide,     // {0} the option, {1} the other option, {2} the file
    kTraceFileName,      //
    kDumpFileName,       //
    kConnectCancelled,   // {0} host, {1} port
    kConnecting,         // {0} host, {1} port
    kStopping,           //
    kExtractSkipped,     // {0} URL path, {1} the record's offset, {2} the earlier record's offset
    // Reading a device's image out: pull and backup.
    kReadOutStart,       //
    kBackupStart,        //
    kReadOutDone,        // {0} records, {1} bytes, {2} file
    kNoImageHeld,        // {0} where and why (an image error)
    kReadOutStopped,     //
    kBackupKept,         // {0} bytes, {1} file
    kBackupNoImage,      // {0} where and why (an image error)
    kBackupUnreadable,   // {0} why (a kWhy message)
    kBackupNotKept,      // {0} why
    kBackupUnusable,     // {0} the option, {1} the folder
    kReasonNoImage,      //
    kReasonBackupNotKept,  // {0} the file and why
    kBackupMemoryKept,     // {0} where and why (an image error), {1} bytes, {2} file
    kBackupFolderName,   //
    kJournalFileName,    //
    // The journal.
    kJournalFailed,      // {0} path, {1} why
    kJournalLarge,       // {0} path, {1} its MB, {2} the MB set for a warning
    kJournalIntact,      // {0} records, {1} the last record's SHA-256
    kJournalMissing,     // {0} record broken, {1} the record that should have come
    kJournalNotFollowing,  // {0} record broken
    kJournalChanged,     // {0} record broken
    kJournalUnreadable,  // {0} path, {1} why
    kJournalLost,        // {0} records, {1} path, {2} why
    kJournalAltered,     // {0} records
    kJournalHead,        // {0} the newest record's SHA-256, {1} its seq, {2} its time
    kJournalHeadHeld,    // {0} the kept head, {1} the record that has it
    kJournalHeadMissing, // {0} the kept head
    // Staged fleets.
    kTargetNotStarted,   // {0} target, {1} why (a kReason message)
    kReasonCanaryFailed, //
    kReasonTooManyFailed,  // {0} devices failed
    // The journal's outcomes, as the history shows them.
    kOutcomeOk,          //
    kOutcomeCurrent,     //
    kOutcomeStopped,     //
    kOutcomeChunks,      //
    kOutcomeDifferent,   //
    kOutcomeUnreadable,  //
    kOutcomePartial,     //
    kOutcomeNotStarted,  //
    kOutcomeBackupNotKept,  //
    // Writing only what changed.
    kDeltaChecking,      // {0} the time of the journal's record
    kDeltaReading,       //
    kDeltaDistrust,      // {0} why
    kDeltaPlan,          // {0} chunks to write, {1} their bytes, {2} chunks of a full send, {3} the base (a kDeltaBase message)
    kDeltaBaseRead,      // {0} requests, {1} bytes
    kDeltaBaseTrusted,   // {0} the time of the journal's record, {1} requests of its check
    kDeltaWhole,         // {0} why (a kDeltaWhy message)
    kDeltaWhyBlank,      //
    kDeltaWhyUnreadable, //
    kDeltaWhyNoImage,    //
    kDeltaWhyNoRoom,     //
    kDeltaWhyTwoNames,   //
    kDeltaDone,          // {0} chunks written, {1} read back
    kDryRun,             // {0} chunks, {1} bytes, {2} requests, {3} seconds, {4} round trip ms
    kDryRunTarget,       // {0} target, {1} a kDryRun line
    // Finding the devices.
    kScanUnit,           // {0} ADDRESS:PORT/UNIT, {1} who it is (kScanIdentity...), {2} its image (kScanImage...)
    kScanIdentity,       // {0} vendor, {1} product code, {2} revision
    kScanNoIdentity,     // {0} the exception code
    kScanImage,          // {0} records, {1} bytes, {2} SHA-256
    kScanImageCurrent,   // a kScanImage that is the image given
    kScanImageOther,     // a kScanImage that is not
    kScanNoImage,        //
    kScanImageUnreadable,  //
    kScanSilent,         // {0} ADDRESS:PORT
    kScanSummary,        // {0} addresses, {1} that accepted a connection, {2} units that answered
    kScanTargetsFailed,  // {0} path, {1} why
    kScanBadRange,       // {0} the range, {1} why
    // Modbus/TCP Security.
    kConnectedTls,       // {0} host, {1} port, {2} TLS version, {3} the device certificate's subject
    kConnectFailedTls,   // {0} host, {1} port, {2} why (a kTls message)
    kTlsExpired,         //
    kTlsNotYetValid,     //
    kTlsCaExpired,       //
    kTlsCaNotYetValid,   //
    kTlsUnknownIssuer,   //
    kTlsWrongName,       //
    kTlsWrongUsage,      //
    kTlsNoCertificate,   //
    kTlsNoCommonVersion, //
    kTlsTimedOut,        //
    kTlsCertRefused,     // {0} the device's alert
    kTlsHandshake,       // {0} OpenSSL's words
    kTlsCertUnreadable,  // {0} the file and why
    kTlsKeyUnreadable,   // {0} the file and why
    kTlsKeyMismatch,     // {0} the files
    kTlsCaUnreadable,    // {0} the file and why
    kTlsKeyReadable,     // {0} the key file
    kTlsAnyName,         //
    kTlsPassphraseCancelled,  // {0} host, {1} port, {2} the key file
    kOverwritesTls,      // {0} the option, {1} the file
    kReasonTls,          // {0} why (a kTls message)
    kTlsRoleRefused,     //
    // inspect.
    kImageSound,         // {0} records, {1} bytes
    kFolderNotCreated,   // {0} folder
    kExtractRefused,     // {0} URL path, {1} folder
    kGzipBroken,         // {0} URL path
    kFileNotWritten,     // {0} path, {1} why
    // The simulated device.
    kListenFailed,       // {0} "modbus" or "http", {1} ADDRESS:PORT, {2} why
    kStopNotTakenOver,   // {0} why
    kWaitFailed,         // {0} why
    // What is wrong with a record of an image ({0} the record's offset).
    kImageHeadPastEnd,      //
    kImageTagWithoutNul,    //
    kImageNameOutside,      // {1} address
    kImageNameWithoutNul,   // {1} offset
    kImageResponseOutside,  // {1} address
    kImageResponsePastEnd,  // {1} length, {2} offset
    kImageNextOutside,      // {1} address
    kImageChainGoesBack,    // {1} offset
    kImageNextInsideHead,   // {1} offset
    kCount
};

// Turns outcomes into log lines in one language.
class MessageCatalog {
  public:
    explicit MessageCatalog(Language language = Language::kChinese);

    // The text of id with its placeholders replaced by args, in order ({0}
    // by the first). A placeholder without an argument stays empty.
    std::string Text(MessageId id, std::initializer_list<std::string_view> args = {}) const;

    // "HOST:PORT 连接成功" / "HOST:PORT 连接失败" / "断开连接".
    std::string Connected(std::string_view host, int port) const;
    std::string ConnectFailed(std::string_view host, int port) const;
    std::string Disconnected() const;

    // "网页选项：" and the options that are on.
    std::string OptionsLine(const PackOptions& options) const;

    // The packer's lines for result, in order: the web options when any is
    // on, packing, the capacity warning when due, one line per file not
    // packed or packed under a name already taken (with web options, a file
    // too large says the bytes it needs), the files left out before packing,
    // with web options how many files did not fit and the bytes they needed,
    // packing done.
    std::vector<std::string> PackLines(const PackResult& result) const;

    // The line naming files left out because a list holds at most limit.
    std::string PastLimitLine(const std::vector<std::string>& paths, int limit) const;

    // The line that says all or nothing kept result from being sent (or, when
    // written is true, from being written to a file).
    std::string NothingSentLine(const PackResult& result, bool written = false) const;

    // What is wrong with the targets file at path, a line each; none when its
    // targets can be used.
    std::vector<std::string> TargetsLines(const std::string& path, const TargetsFile& file) const;

    // Where and why an image is broken: "offset N: what".
    std::string ImageErrorText(const ImageError& error) const;

    // Why the image file at path cannot be used; empty when it can.
    std::string ImageFileLine(const std::string& path, const ImageFile& file) const;

    // The line for a chunk that failed; empty for one that was echoed.
    std::string ChunkLine(const ChunkOutcome& outcome) const;

    // The line for a chunk (a write) or a read that is to be sent again, the
    // retry-th time, after a try that failed (why).
    std::string RetryLine(const RequestSpan& request, Outcome why, int retry) const;

    // Why a try failed, as a phrase.
    std::string TryFailure(Outcome why) const;

    // The lines that end a download: the failure count when any chunk
    // failed, then the end line.
    std::vector<std::string> EndLines(const DownloadReport& report) const;

    // The lines of a read-back: what it found and, when the device cannot be
    // read back after a download that succeeded, that the download stands.
    std::vector<std::string> VerifyLines(const VerifyReport& report, bool downloaded) const;

    // Why a device could not be read back, as a phrase.
    std::string WhyUnreadable(const VerifyReport& report) const;
    std::string WhyUnreadable(const PullReport& report) const;

    // The lines of a device's image read out: what was found and where it
    // was kept (or, error not empty, why it could not be); backup: before
    // writing it.
    std::vector<std::string> ReadOutLines(const PullReport& report, const std::string& file,
                                          const std::string& error, bool backup) const;

    // The line of one device of a fleet: done, or failed and why.
    std::string TargetLine(const DeviceReport& device) const;

    // Writing only what changed: its start, its plan (or why the whole
    // image is sent), its end; a dry run's line.
    std::string DeltaStartLine(const DeltaFacts& delta, bool checking) const;
    std::vector<std::string> DeltaPlanLines(const DeltaFacts& delta) const;
    std::string DeltaDoneLine(const DeltaFacts& delta) const;
    std::string DryRunLine(const DeltaFacts& plan) const;

    // What a scanned address said: a line for each unit that answered
    // (with whether it holds the scan's image, when it had one), or one for
    // an address where none did.
    std::vector<std::string> ScanLines(const DeviceReport& device) const;
    // Who a unit that answered a scan said it is, or the exception it gave.
    std::string ScanIdentity(const UnitScan& unit) const;
    // The image a unit holds (records, bytes, the first shaDigits of its
    // SHA-256), or that it holds none or could not be read.
    std::string ScanImage(const UnitScan& unit, std::size_t shaDigits = 64) const;
    // The scan's last line: addresses, connections, units that answered.
    std::string ScanSummary(const JobReport& report) const;

    // Why a device failed, as a phrase; empty when it succeeded.
    std::string TargetFailure(const DeviceReport& device) const;

    // Why a job was refused, a line each (a targets file may have many).
    std::vector<std::string> RefusalLines(const PlanProblem& problem,
                                          const FieldNames& names) const;

    // Why a TLS connection or its files failed, as a phrase.
    std::string TlsFailureText(tls::Failure failure, const std::string& detail) const;

    // The line of a connect: made (over TLS: its version and the device
    // certificate's subject) or failed (over TLS: why).
    std::string ConnectLine(const FleetTarget& target, bool ok, const TargetResult& facts) const;

    // A journal record's outcome ("ok", "chunks-failed", ...) in words;
    // an outcome it does not know, as it is.
    std::string OutcomeWord(std::string_view outcome) const;

    // What history --check says of a journal's chain.
    std::string JournalCheckLine(const std::string& path, const JournalCheck& check) const;

    // What a device holds after a stop request ended its job.
    std::string StoppedLine(const DeviceReport& device) const;

    // The line for an entry of a site folder that is not one of its files.
    std::string SiteSkippedLine(const SkippedEntry& entry) const;

    // The line that ends a fleet send.
    std::string FleetSummary(int devices, int succeeded) const;

    // Seconds as the fleet lines show them: two decimals.
    static std::string Seconds(double seconds);

  private:
    Language m_language;
};

}  // namespace kelvarin
