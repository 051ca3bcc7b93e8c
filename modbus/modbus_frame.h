// The Modbus/TCP frames Kelvarin exchanges with a device, laid out once for
// the client (download/) and the simulated device (device/).
//
// A frame is the 7-byte MBAP header (transaction id, protocol id 0, length,
// unit id) and a PDU (function code and data). Multi-byte fields are
// big-endian. The image memory is two Modbus files of 64 KiB, 16 and 17; a
// record number is a byte offset within its file, a record length counts
// 16-bit words.
//
// Write File Record (function 21) request with one sub-request, as sent:
//   0-1 transaction id | 2-3 protocol id 0 | 4-5 length (bytes from 6 on) |
//   6 unit id | 7 function 21 | 8 request data length |
//   9 reference type 6 | 10-11 file number | 12-13 record number |
//   14-15 record length (words) | 16.. record data
// The device's normal reply is an exact echo.
//
// Read File Record (function 20) request, one or more sub-requests:
//   7 function 20 | 8 byte count (7 per sub-request) | per sub-request:
//   reference type 6 | file number (2) | record number (2) | record length
//   in words (2)
// and its response:
//   7 function 20 | 8 response data length | per sub-request: file response
//   length (1 + 2 x words) | reference type 6 | the record's bytes
//
// Read Device Identification (function 43, MEI type 14) request:
//   7 function 43 | 8 MEI type 14 | 9 read device id code | 10 object id
// and its response:
//   7 function 43 | 8 MEI type 14 | 9 read device id code | 10 conformity
//   level | 11 more follows (0x00, or 0xFF: ask again from the next object
//   id) | 12 next object id | 13 number of objects | per object: object id |
//   value length | the value's bytes
#pragma once

#include "web_image.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin::modbus {

// ---- MBAP header ----
inline constexpr std::size_t kTransactionAt = 0;
inline constexpr std::size_t kProtocolAt = 2;
inline constexpr std::size_t kLengthAt = 4;
inline constexpr std::size_t kUnitAt = 6;
// The MBAP length field counts the bytes from the unit id on; the bytes
// before it are this many.
inline constexpr std::size_t kMbapPrefix = 6;
inline constexpr std::size_t kMinMbapLength = 2;    // unit id and function code
inline constexpr std::size_t kMaxMbapLength = 254;  // unit id and a 253-byte PDU

// ---- PDU ----
inline constexpr std::size_t kFunctionAt = 7;
inline constexpr std::uint8_t kReadFileRecord = 0x14;
inline constexpr std::uint8_t kWriteFileRecord = 0x15;
// An exception reply carries the function code with this bit set.
inline constexpr std::uint8_t kExceptionBit = 0x80;
inline constexpr std::size_t kExceptionReplySize = 9;

// ---- File record requests with one sub-request ----
inline constexpr std::size_t kDataLengthAt = 8;
inline constexpr std::size_t kReferenceTypeAt = 9;
inline constexpr std::size_t kFileNumberAt = 10;
inline constexpr std::size_t kRecordNumberAt = 12;
inline constexpr std::size_t kRecordLengthAt = 14;
inline constexpr std::size_t kRecordDataAt = 16;
inline constexpr std::uint8_t kFileReferenceType = 6;
// A sub-request's header: reference type, file number, record number, length.
inline constexpr std::size_t kSubRequestHeader = 7;
// The largest byte count of a Read File Record request and response data
// length of its response that Modbus allows.
inline constexpr std::size_t kMaxRequestDataLength = 0xF5;
// The largest request data length of a Write File Record request: a whole
// 253-byte PDU but its function code and this length byte.
inline constexpr std::size_t kMaxWriteDataLength = 0xFB;

// ---- Read File Record ----
inline constexpr std::size_t kByteCountAt = 8;    // request: sub-request bytes that follow
inline constexpr std::size_t kSubRequestsAt = 9;  // request: the first sub-request
inline constexpr std::size_t kReadSubRequestSize = 7;
inline constexpr std::size_t kResponseLengthAt = 8;  // response: data bytes that follow
inline constexpr std::size_t kResponseDataAt = 9;    // response: the first sub-response
// A sub-response's own header: its length byte and the reference type.
inline constexpr std::size_t kSubResponseHeader = 2;
// The most words one response carries: a single sub-response within the
// response data length's limit of 0xF5 bytes.
inline constexpr std::size_t kMaxReadWords = (kMaxRequestDataLength - kSubResponseHeader) / 2;
static_assert(kMaxReadWords == 121);
// The most sub-requests one request holds.
inline constexpr std::size_t kMaxReadSubRequests = kMaxRequestDataLength / kReadSubRequestSize;

// ---- The image memory as Modbus files ----
inline constexpr std::uint16_t kFirstImageFile = 16;
// A record number is a 16-bit byte offset, so one file holds 65536 bytes.
inline constexpr std::size_t kPageSize = std::size_t{1} << 16;
// Files kFirstImageFile and the one after it hold the whole image memory.
inline constexpr std::size_t kImageFiles = kImageCapacity / kPageSize;
static_assert(kImageFiles * kPageSize == kImageCapacity, "the image memory is whole files");

// Image bytes per Write File Record request by default.
inline constexpr std::size_t kChunkBytes = 128;
// The most image bytes one Write File Record request with one sub-request
// may carry (a larger chunk size is an option for devices that take it).
inline constexpr std::size_t kMaxChunkBytes = kMaxWriteDataLength - kSubRequestHeader;
static_assert(kMaxChunkBytes == 244);
static_assert(kMaxChunkBytes % 2 == 0, "a record is whole 16-bit words");
static_assert(kRecordDataAt + kMaxChunkBytes - kMbapPrefix <= kMaxMbapLength,
              "the MBAP length of the largest chunk is within Modbus's limit");

// The chunk size fits the one-byte length fields and the protocol's limits.
static_assert(kChunkBytes % 2 == 0, "a record is whole 16-bit words");
static_assert(kSubRequestHeader + kChunkBytes <= kMaxRequestDataLength,
              "the request data length of a full chunk fits its byte and Modbus's limit");
static_assert(kRecordDataAt + kChunkBytes - kMbapPrefix <= kMaxMbapLength,
              "the MBAP length of a full chunk is within Modbus's limit");
static_assert(kRecordDataAt + kChunkBytes - kMbapPrefix <= 0xFF,
              "the MBAP length of a full chunk fits its low byte");
static_assert(kPageSize % kChunkBytes == 0, "a chunk never straddles two files");

// Where an image offset lies: Modbus file and record number.
struct FilePosition {
    std::uint16_t file = kFirstImageFile;
    std::uint16_t record = 0;
};

// The file and record number of image offset offset.
constexpr FilePosition PositionOf(std::size_t offset) {
    return {static_cast<std::uint16_t>(kFirstImageFile + offset / kPageSize),
            static_cast<std::uint16_t>(offset % kPageSize)};
}

// The image offset of a file and record number (file >= kFirstImageFile).
constexpr std::size_t OffsetOf(std::uint16_t file, std::uint16_t record) {
    return (static_cast<std::size_t>(file) - kFirstImageFile) * kPageSize + record;
}

// How the bytes at the start of a stream stand.
enum class FrameStatus {
    kNeedMore,   // not yet a whole frame
    kFrame,      // a whole frame of FrameScan::size bytes
    kNotModbus,  // protocol id not 0 or MBAP length out of range
};

// The result of ScanFrame.
struct FrameScan {
    FrameStatus status = FrameStatus::kNeedMore;
    std::size_t size = 0;  // bytes of the frame, for kFrame
};

// Looks at the start of input: a whole frame (and its size), more bytes
// needed, or not Modbus/TCP at all. A foreign protocol id is refused as soon
// as its bytes are in.
FrameScan ScanFrame(std::span<const std::uint8_t> input);
FrameScan ScanFrame(std::string_view input);

// Writes a Write File Record request for n data bytes (n even, at most
// kMaxChunkBytes) at file/record into frame, which holds at least
// kRecordDataAt + n bytes, with transaction id transaction (0 by default)
// and unit id unit (0 by default); the protocol id is 0. Returns the frame's
// size, kRecordDataAt + n; 0 for an odd or too large n.
std::size_t EncodeWriteFileRecord(std::uint8_t* frame, FilePosition position,
                                  const std::uint8_t* data, std::size_t n,
                                  std::uint16_t transaction = 0, std::uint8_t unit = 0);

// The transaction id of a frame (at least 2 bytes).
std::uint16_t TransactionOf(const std::uint8_t* frame);

// True when frame (size bytes) is an exception reply with code.
bool IsException(const std::uint8_t* frame, std::size_t size, std::uint8_t code);

// The code of frame (size bytes) when it is an exception reply, else 0.
std::uint8_t ExceptionCodeOf(const std::uint8_t* frame, std::size_t size);

// The exception code a busy device answers with (server device busy).
inline constexpr std::uint8_t kExceptionBusy = 0x06;

// The file and record number a file record request or its echo names (frame
// holds at least kRecordDataAt bytes).
FilePosition RequestPosition(const std::uint8_t* frame);

// True when frame (size bytes) is a well-formed Write File Record request
// with one sub-request whose lengths agree with its size.
bool IsWriteFileRecord(const std::uint8_t* frame, std::size_t size);

// One sub-request of a Read File Record request: words 16-bit words at a
// file and record number (a byte offset).
struct ReadPiece {
    FilePosition position;
    std::uint16_t words = 0;
};

// Writes a Read File Record request for pieces (1 to kMaxReadSubRequests)
// with transaction id transaction and unit id unit into frame, which holds
// at least kSubRequestsAt + 7 x pieces bytes. Returns the frame's size; 0
// when there are no pieces or too many.
std::size_t EncodeReadFileRecord(std::uint8_t* frame, std::span<const ReadPiece> pieces,
                                 std::uint16_t transaction, std::uint8_t unit = 0);

// How a reply to a Read File Record request reads.
enum class ReadReplyStatus {
    kData,       // the records' bytes, as asked
    kException,  // an exception reply; code says which
    kMalformed,  // anything else: another transaction, wrong lengths, a cut frame
};

// The result of DecodeReadReply.
struct ReadReply {
    ReadReplyStatus status = ReadReplyStatus::kMalformed;
    std::uint8_t exceptionCode = 0;  // for kException
};

// Reads reply (one whole frame) as the answer to the request for pieces with
// transaction id transaction; for kData the records' bytes, in order, go to
// out, which holds 2 x the pieces' words.
ReadReply DecodeReadReply(std::span<const std::uint8_t> reply, std::span<const ReadPiece> pieces,
                          std::uint16_t transaction, std::uint8_t* out);

// The exception reply to frame (at least 8 bytes): its transaction and unit
// ids, length 3, its function code with the exception bit set, then code.
// Empty when frame is shorter than 8 bytes.
std::string ExceptionReply(std::string_view frame, std::uint8_t code);

// ---- Read Device Identification ----
inline constexpr std::uint8_t kEncapsulatedInterface = 0x2B;     // function 43
inline constexpr std::uint8_t kReadDeviceIdentification = 0x0E;  // its MEI type 14
inline constexpr std::size_t kMeiTypeAt = 8;
inline constexpr std::size_t kReadCodeAt = 9;
inline constexpr std::size_t kObjectIdAt = 10;  // request: the first object, or the one
inline constexpr std::size_t kIdentityRequestSize = 11;
inline constexpr std::size_t kConformityAt = 10;    // response
inline constexpr std::size_t kMoreFollowsAt = 11;   // response
inline constexpr std::size_t kNextObjectIdAt = 12;  // response
inline constexpr std::size_t kObjectCountAt = 13;   // response
inline constexpr std::size_t kObjectsAt = 14;       // response: the first object
// An object's own header: its id and its value's length.
inline constexpr std::size_t kObjectHeader = 2;
// The objects' bytes one response holds: a 253-byte PDU but its head.
inline constexpr std::size_t kMaxObjectBytes = kMbapPrefix + kMaxMbapLength - kObjectsAt;
static_assert(kMaxObjectBytes == 246);
// The longest value an object may have: it is always read in one response.
inline constexpr std::size_t kMaxObjectValue = kMaxObjectBytes - kObjectHeader;

// Read device id codes: a stream of the basic, regular or extended objects
// from an object id on, or one object.
inline constexpr std::uint8_t kReadBasic = 1;
inline constexpr std::uint8_t kReadRegular = 2;
inline constexpr std::uint8_t kReadExtended = 3;
inline constexpr std::uint8_t kReadOneObject = 4;

// The standard objects: 0 to 2 basic (every device has them), 3 to 6
// regular; 0x80 to 0xFF are extended (the device's own).
inline constexpr std::uint8_t kVendorName = 0;
inline constexpr std::uint8_t kProductCode = 1;
inline constexpr std::uint8_t kMajorMinorRevision = 2;
inline constexpr std::uint8_t kVendorUrl = 3;
inline constexpr std::uint8_t kProductName = 4;
inline constexpr std::uint8_t kModelName = 5;
inline constexpr std::uint8_t kUserApplicationName = 6;
inline constexpr std::uint8_t kLastBasicObject = kMajorMinorRevision;
inline constexpr std::uint8_t kLastRegularObject = kUserApplicationName;
inline constexpr std::uint8_t kFirstExtendedObject = 0x80;

// Conformity levels: the objects a device has (basic, regular, extended),
// with kIndividualAccess set when it also answers read code 4.
inline constexpr std::uint8_t kConformityBasic = 0x01;
inline constexpr std::uint8_t kConformityRegular = 0x02;
inline constexpr std::uint8_t kConformityExtended = 0x03;
inline constexpr std::uint8_t kIndividualAccess = 0x80;

// The more-follows byte: every object asked for is in this response, or more
// are to be asked for from the next object id.
inline constexpr std::uint8_t kNoMoreFollows = 0x00;
inline constexpr std::uint8_t kMoreFollows = 0xFF;

// What a Read Device Identification request asks for.
struct IdentityRequest {
    std::uint8_t readCode = kReadBasic;  // kReadBasic .. kReadOneObject
    std::uint8_t objectId = 0;           // the stream's first object, or the one object
};

// One identification object: its id and its value's bytes (text, by the
// standard's objects).
struct IdentityObject {
    std::uint8_t id = 0;
    std::string value;

    bool operator==(const IdentityObject&) const = default;
};

// Writes a Read Device Identification request with transaction id
// transaction and unit id unit into frame, which holds at least
// kIdentityRequestSize bytes. Returns the frame's size, kIdentityRequestSize;
// 0 (nothing written) for a read code outside 1 to 4.
std::size_t EncodeIdentityRequest(std::uint8_t* frame, IdentityRequest request,
                                  std::uint16_t transaction, std::uint8_t unit = 0);

// How a request frame reads as a Read Device Identification request.
enum class IdentityRequestStatus {
    kSound,        // function 43, MEI type 14, read code 1 to 4, 11 bytes
    kOtherMei,     // another function, or function 43 with another MEI type
    kBadLength,    // too short for its MEI type, or not exactly 11 bytes
    kBadReadCode,  // a read device id code outside 1 to 4
};

// The result of ParseIdentityRequest.
struct ParsedIdentityRequest {
    IdentityRequestStatus status = IdentityRequestStatus::kBadLength;
    IdentityRequest request;  // for kSound
};

// Reads frame (one whole frame, as ScanFrame delimits it) as a Read Device
// Identification request. The status says why it is not a sound one.
ParsedIdentityRequest ParseIdentityRequest(std::span<const std::uint8_t> frame);
ParsedIdentityRequest ParseIdentityRequest(std::string_view frame);

// The reply to a Read Device Identification request with transaction id
// transaction and unit id unit: readCode echoed, the conformity level, then
// objects in their order, as many as one frame holds; when some are left,
// more follows (0xFF) and the next object id is the first one left's id.
// Empty when the first object does not fit one frame (a value longer than
// kMaxObjectValue).
std::string EncodeIdentityReply(std::uint16_t transaction, std::uint8_t unit, std::uint8_t readCode,
                                std::uint8_t conformity, std::span<const IdentityObject> objects);

// How a reply to a Read Device Identification request reads.
enum class IdentityReplyStatus {
    kObjects,    // identification objects
    kException,  // an exception reply (function 0xAB); exceptionCode says which
    kMalformed,  // anything else: another transaction or function, lengths or an
                 // object count that disagree with the frame, a cut frame
};

// The result of DecodeIdentityReply.
struct IdentityReply {
    IdentityReplyStatus status = IdentityReplyStatus::kMalformed;
    std::uint8_t exceptionCode = 0;       // for kException
    std::uint8_t unit = 0;                // the unit id the reply carries
    std::uint8_t readCode = 0;            // for kObjects: the read device id code, as sent
    std::uint8_t conformity = 0;          // for kObjects: the device's conformity level, as sent
    bool moreFollows = false;             // for kObjects: more objects, from nextObjectId on
    std::uint8_t nextObjectId = 0;        // for kObjects: as sent; it counts only with moreFollows
    std::vector<IdentityObject> objects;  // for kObjects: in the order sent
};

// Reads reply (one whole frame) as the answer to a Read Device
// Identification request with transaction id transaction. Every length and
// the object count must agree with the frame's size, more follows must be
// 0x00 or 0xFF, and a reply with more to follow must hold at least one object
// and name a next object id above its last object's. Anything else is
// kMalformed, with no objects. (A client asking again from nextObjectId
// comes to an end when it also holds each next id above the one it asked
// from.)
IdentityReply DecodeIdentityReply(std::span<const std::uint8_t> reply, std::uint16_t transaction);

}  // namespace kelvarin::modbus
