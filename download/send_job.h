// The Send command's work, as the window and the command line run it: pack
// (or take a ready image), keep a copy in the dump file, download, and read
// the image back when asked. Every step is reported to an observer as data.
#pragma once

#include "download.h"
#include "dump_file.h"
#include "packer.h"
#include "readback.h"

#include <atomic>
#include <optional>
#include <span>
#include <string>

namespace kelvarin {

// Told of each step of a Send, in order: OnPacked (only when files were
// packed), OnNothingSent (and nothing more) when all or nothing refused them,
// OnSendStart, OnDumpFailed (only when the dump was not written),
// OnChunk for every chunk, OnSendEnd, then OnVerifyStart and OnVerified when
// the image is read back.
class SendObserver : public DownloadObserver {
  public:
    virtual void OnPacked(const PackResult& /*result*/) {}
    // All or nothing refused the packed image: nothing else follows.
    virtual void OnNothingSent(const PackResult& /*result*/) {}
    virtual void OnSendStart(std::size_t /*imageLength*/) {}
    virtual void OnDumpFailed(const std::string& /*path*/) {}
    void OnChunk(const ChunkOutcome& /*outcome*/) override {}
    virtual void OnSendEnd(const DownloadReport& /*report*/) {}
    virtual void OnVerifyStart() {}
    // downloaded: the image was downloaded just before (not only compared).
    virtual void OnVerified(const VerifyReport& /*report*/, bool /*downloaded*/) {}
};

// What one Send did.
struct SendReport {
    int packed = 0;            // files packed
    int skipped = 0;           // files not packed
    bool nothingSent = false;  // all or nothing refused the image
    bool dumpWritten = false;  // the dump file holds the image
    DownloadReport download;
    std::optional<VerifyReport> verify;  // the read-back, when one was made

    // True when every file was packed, every chunk came back as its echo and,
    // when read back, the device holds the image. A stop request leaves it
    // false.
    bool Succeeded() const {
        return skipped == 0 && !nothingSent && download.Succeeded() &&
               (!verify || verify->outcome == VerifyOutcome::kEqual);
    }
};

// How a Send talks to the device.
struct SendSettings {
    TransferOptions transfer;  // time-outs, retries, requests in flight, chunk size
    bool verify = false;       // read the image back after a download that succeeded
    WireTrace* trace = nullptr;  // every frame sent and received; nullptr for none
    const std::atomic<bool>* stop = nullptr;  // set to stop after what is in flight
};

// Sends image: tells the observer it starts, writes the dump (unless the
// target's path is empty), downloads and tells the observer it ended; then,
// when settings ask for it and the download succeeded, reads the image back.
SendReport SendImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                     const SendSettings& settings, const DumpTarget& dump,
                     SendObserver& observer);

// Packs request into a 0xFF-filled 131072-byte image, tells the observer,
// then sends the image as SendImage does; with request.allOrNothing and a
// file not packed or left out, sends nothing (the link is not used).
SendReport SendFiles(const PackRequest& request, CDeviceLink& link, const SendSettings& settings,
                     const DumpTarget& dump, SendObserver& observer);

}  // namespace kelvarin
