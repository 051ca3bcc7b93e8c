// The tables of the catalog and the formatting of their texts.
#include "catalog.h"

#include "ascii.h"
#include "image_reader.h"
#include "file_list.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace kelvarin {

namespace {

constexpr std::size_t kMessageCount = static_cast<std::size_t>(MessageId::kCount);

// One message: its id and its text in each language. Placeholders are {N}
// for the Nth value, and {N?one|other} in English for a word that follows
// the count N ("1 byte", "2 bytes").
struct Entry {
    MessageId id;
    std::string_view chinese;  // the product's own text, exactly as the log has always shown it
    std::string_view english;
};

// Every message, in MessageId order.
constexpr Entry kEntries[] = {
    {MessageId::kConnected, "{0}:{1} 连接成功",
     "{0}:{1} connected"},
    {MessageId::kConnectFailed, "{0}:{1} 连接失败",
     "{0}:{1} connection failed"},
    {MessageId::kDisconnected, "断开连接",
     "Disconnected"},
    {MessageId::kWebOptions, "网页选项：{0}",
     "Web options: {0}"},
    {MessageId::kOptionContentTypes, "内容类型",
     "content types"},
    {MessageId::kOptionGzip, "gzip压缩",
     "gzip"},
    {MessageId::kOptionSiteRoot, "网站根目录{0}",
     "site root {0}"},
    {MessageId::kListSeparator, "，",
     ", "},
    {MessageId::kPacking, "正在打包",
     "Packing"},
    {MessageId::kMayExceedCapacity, "打包文件长度可能超过了最大限制，会有部分文件不能被打包",
     "The files may exceed the image's size: some of them may not be packed"},
    {MessageId::kOpenFailed, "{0}打开失败",
     "{0}: cannot be opened"},
    {MessageId::kReadFailed, "{0}读取失败",
     "{0}: cannot be read whole"},
    {MessageId::kTooLarge, "大小已经超限，{0}文件不被打包",
     "{0} is too large and is not packed"},
    {MessageId::kDuplicateUrl, "{0}路径重复，设备只能提供第一个同路径的文件",
     "{0} is packed twice: the device can only ever serve the first"},
    {MessageId::kPackDone, "打包完成",
     "Packing done"},
    {MessageId::kTooLargeNeeds, "大小已经超限，{0}文件不被打包，它需要{1}字节",
     "{0} is too large and is not packed: it needs {1} {1?byte|bytes}"},
    {MessageId::kNotFitting, "{0}个文件放不下，共需{1}字节，映像只剩{2}字节",
     "{0} {0?file does|files do} not fit: {1} bytes needed, {2} left in the image"},
    {MessageId::kPastLimit, "{0}个文件超出{1}个文件的上限，未加入：{2}",
     "{0} {0?file is|files are} past the limit of {1} files and left out: {2}"},
    {MessageId::kNothingSent, "全部装下才发送：{0}个文件不能打包，什么也没有发送",
     "All or nothing: {0} {0?file|files} cannot be packed, nothing was sent"},
    {MessageId::kNothingWritten, "全部装下才发送：{0}个文件不能打包，没有写入映像",
     "All or nothing: {0} {0?file|files} cannot be packed, no image was written"},
    {MessageId::kSendStart, "开始发送",
     "Sending"},
    {MessageId::kDumpFailed, "写入文件{0}失败",
     "Cannot write file {0}"},
    {MessageId::kChunkRejected, "发送到{0}, {1}, {2}返回失败",
     "Sent {0}, {1}, {2}: wrong reply"},
    {MessageId::kChunkNoReply, "发送到{0}, {1}, {2}无应答",
     "Sent {0}, {1}, {2}: no reply"},
    {MessageId::kChunkConnectionLost, "发送到{0}, {1}, {2}连接中断",
     "Sent {0}, {1}, {2}: connection lost"},
    {MessageId::kFailedChunks, "{0}个数据块发送失败",
     "{0} {0?chunk|chunks} failed"},
    {MessageId::kSendEnd, "发送结束!!!!!",
     "Sending finished"},
    {MessageId::kVerifyStart, "开始校验",
     "Verifying"},
    {MessageId::kVerifyEqual, "校验通过，设备中的{0}字节与映像相同",
     "Verified: the device holds the image's {0} {0?byte|bytes}"},
    {MessageId::kVerifyDifferent, "校验失败，{0}个字节不同，第一个在偏移{1}",
     "Verify failed: {0} {0?byte differs|bytes differ}, the first at offset {1}"},
    {MessageId::kVerifyUnreadable, "无法回读：{0}",
     "Cannot read back: {0}"},
    {MessageId::kVerifyNotDone, "下载已成功，但设备不能回读，未校验",
     "The download succeeded, but the device cannot be read back: not verified"},
    {MessageId::kWhyException, "读文件记录请求返回异常{0}",
     "Read File Record answered with exception {0}"},
    {MessageId::kWhyNoReply, "读取偏移{0}无应答",
     "no reply reading offset {0}"},
    {MessageId::kWhyConnectionLost, "读取偏移{0}时连接中断",
     "connection lost reading offset {0}"},
    {MessageId::kWhyMalformed, "读取偏移{0}的应答不正确",
     "wrong reply reading offset {0}"},
    {MessageId::kTargetDone, "{0} 成功，用时{1}秒",
     "{0} ok in {1} s"},
    {MessageId::kTargetFailed, "{0} 失败：{1}，用时{2}秒",
     "{0} failed: {1}, {2} s"},
    {MessageId::kFleetSummary, "共{0}台设备：{1}台成功，{2}台失败",
     "{0} {0?device|devices}: {1} ok, {2} failed"},
    {MessageId::kReasonConnectFailed, "连接失败",
     "connection failed"},
    {MessageId::kReasonChunks, "{0}个数据块发送失败",
     "{0} {0?chunk|chunks} failed"},
    {MessageId::kReasonConnectionLost, "连接中断",
     "connection lost"},
    {MessageId::kReasonDifferent, "校验失败，{0}个字节不同，第一个在偏移{1}",
     "verify failed: {0} {0?byte differs|bytes differ}, the first at offset {1}"},
    {MessageId::kReasonUnreadable, "无法回读，{0}",
     "cannot be read back: {0}"},
    {MessageId::kReasonNotPacked, "{0}个文件未打包",
     "{0} {0?file|files} not packed"},
    {MessageId::kVerifyNothing, "没有文件被打包，无可校验",
     "No file was packed: nothing to verify"},
    {MessageId::kVerifyPartial, "{0}个文件未打包，校验的映像不完整",
     "{0} {0?file|files} not packed: the image verified is not the whole site"},
    {MessageId::kImageUnreadable, "无法读取映像{0}",
     "cannot read image {0}"},
    {MessageId::kImageFarTooLarge, "{0}太大，不是映像",
     "{0} is far too large to be an image"},
    {MessageId::kImageLargerThanMemory, "{0}有{1}字节，超过映像存储器的{2}字节",
     "{0} is {1} bytes, more than the {2} bytes of the image memory"},
    {MessageId::kImageOddLength, "{0}有{1}字节，长度为奇数：记录按16位字写入",
     "{0} is {1} bytes, an odd length: records are written as 16-bit words"},
    {MessageId::kImageBroken, "{0}：映像已损坏，{1}",
     "{0}: broken image at {1}"},
    {MessageId::kImageEmpty, "{0}不含任何记录：没有可发送或校验的映像",
     "{0} holds no records: no image to send or compare"},
    {MessageId::kImageNotWritten, "无法写入映像{0}：{1}",
     "cannot write image {0}: {1}"},
    {MessageId::kNotAFolder, "{0}：不是可以读取的文件夹",
     "{0}: not a folder that can be read"},
    {MessageId::kNoFilesInFolder, "{0}：其中没有文件",
     "{0}: no files in it"},
    {MessageId::kTargetsUnreadable, "无法读取目标文件{0}",
     "{0}: cannot read the targets file"},
    {MessageId::kTargetsFarTooLarge, "{0}：目标文件太大，无法读取",
     "{0}: cannot read the targets file (far too large)"},
    {MessageId::kTargetsEmpty, "{0}：文件中没有目标",
     "{0}: no targets in the file"},
    {MessageId::kTargetsNotATarget,
     "{0}:{1}：“{2}”不是 地址[:端口][/单元]（点分IPv4地址，端口1..65535，单元0..255）",
     "{0}:{1}: \"{2}\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a "
     "unit 0..255)"},
    {MessageId::kTargetsListedTwice, "{0}:{1}：{2}重复列出（第{3}行已列出）",
     "{0}:{1}: {2} is listed twice (first on line {3})"},
    {MessageId::kTargetsMoreProblems, "{0}：另有{1}行有误，未列出",
     "{0}: {1} more bad {1?line|lines} not shown"},
    {MessageId::kSiteSkipped, "网站文件夹中的{0}未加入：{1}",
     "{0} in the site folder left out: {1}"},
    {MessageId::kSkipDanglingLink, "链接指向的文件不存在",
     "a link to nothing"},
    {MessageId::kSkipLinkLoop, "链接指向它所在的文件夹",
     "a link to a folder it is in"},
    {MessageId::kSkipNotAFile, "不是普通文件",
     "not a regular file"},
    {MessageId::kSkipUnreadableFolder, "文件夹不能读取",
     "a folder that cannot be read"},
    {MessageId::kOverwritesInput, "{0} {1}是要打包的文件之一，不会覆盖它",
     "{0} {1} is one of the files to pack: refusing to overwrite it"},
    {MessageId::kChunkRetry, "发送到{0}, {1}, {2}{3}，第{4}次重发",
     "Sent {0}, {1}, {2}: {3}, retry {4}"},
    {MessageId::kReadRetry, "读取偏移{0}{1}，第{2}次重试",
     "Reading offset {0}: {1}, retry {2}"},
    {MessageId::kTryNoReply, "无应答",
     "no reply"},
    {MessageId::kTryWrong, "返回失败",
     "wrong reply"},
    {MessageId::kTryBusy, "设备忙",
     "device busy"},
    {MessageId::kTryConnectionLost, "连接中断",
     "connection lost"},
    {MessageId::kReconnecting, "连接中断，第{0}次重新连接",
     "Connection lost, connecting again (attempt {0})"},
    {MessageId::kReconnected, "重新连接成功，从中断处继续",
     "Connected again, going on where it stopped"},
    {MessageId::kWindowFallback, "{0}，改为每次只发一个请求",
     "{0}: one request in flight from now on"},
    {MessageId::kSendInterrupted, "发送已中断：设备只收到了映像{1}字节中的前{0}字节，现在保存的是不完整的映像",
     "Sending interrupted: the device has only the first {0} of the image's {1} {1?byte|bytes} "
     "and now holds a partial image"},
    {MessageId::kSendInterruptedUnsent, "发送已中断，未发送任何数据，设备中的映像未改变",
     "Sending interrupted before anything was sent: the device's image is unchanged"},
    {MessageId::kVerifyInterrupted, "校验已中断，未校验",
     "Verify interrupted: not verified"},
    {MessageId::kTargetCurrent, "{0} 已保存此映像，未发送，用时{1}秒",
     "{0} already holds the image, left alone, {1} s"},
    {MessageId::kTraceFailed, "无法写入通信记录文件{0}，本次发送不记录",
     "Cannot write the trace file {0}: this Send is not traced"},
    {MessageId::kTraceCannotWrite, "无法写入通信记录文件{0}",
     "Cannot write the trace file {0}"},
    {MessageId::kOverwritesImage, "{0} {1}是要发送的映像，不会覆盖它",
     "{0} {1} is the image to send: refusing to overwrite it"},
    {MessageId::kOverwritesTargets, "{0} {1}是目标文件，不会覆盖它",
     "{0} {1} is the targets file: refusing to overwrite it"},
    {MessageId::kOutputsCollide, "{0}和{1}是同一个文件{2}，不会让一个覆盖另一个",
     "{0} and {1} name one file, {2}: refusing to write one over the other"},
    {MessageId::kTraceFileName, "通信记录文件",
     "The trace file"},
    {MessageId::kDumpFileName, "转储文件",
     "the dump file"},
    {MessageId::kConnectCancelled, "{0}:{1} 连接已取消",
     "{0}:{1} connect cancelled"},
    {MessageId::kConnecting, "正在连接{0}:{1}",
     "Connecting to {0}:{1}"},
    {MessageId::kStopping, "正在停止：不再发送，等待已发出请求的应答",
     "Stopping: nothing more is sent, waiting for the replies of what is out"},
    {MessageId::kExtractSkipped, "未提取偏移{1}处的“{0}”：设备只提供偏移{2}处第一个同路径的记录",
     "not extracting \"{0}\" at offset {1}: the device serves the first record of that path, at offset {2}"},
    {MessageId::kReadOutStart, "正在读出设备中的映像",
     "Reading the device's image out"},
    {MessageId::kBackupStart, "备份：正在读出设备中的映像",
     "Backup: reading the device's image out"},
    {MessageId::kReadOutDone, "读出映像：{0}个记录，{1}字节，已写入{2}",
     "Read out: {0} {0?record|records}, {1} bytes, written to {2}"},
    {MessageId::kNoImageHeld, "设备中没有完好的映像：{0}",
     "The device holds no sound image: {0}"},
    {MessageId::kReadOutStopped, "读出已中断，未写入映像文件",
     "Reading out interrupted: no image file written"},
    {MessageId::kBackupKept, "备份：设备中的映像（{0}字节）已保存到{1}",
     "Backup: the device's image ({0} bytes) is kept in {1}"},
    {MessageId::kBackupNoImage, "备份：设备中没有完好的映像（{0}），没有备份文件",
     "Backup: the device holds no sound image ({0}): no backup file"},
    {MessageId::kBackupUnreadable, "无法备份：{0}，设备未写入",
     "Cannot back up: {0}; the device is not written"},
    {MessageId::kBackupNotKept, "无法保存备份：{0}，设备未写入",
     "Cannot keep the backup: {0}; the device is not written"},
    {MessageId::kBackupUnusable, "{0} {1}：无法创建，或不是文件夹",
     "{0} {1}: cannot be made, or is not a folder"},
    {MessageId::kReasonNoImage, "设备中没有完好的映像",
     "the device holds no sound image"},
    {MessageId::kReasonBackupNotKept, "无法保存备份（{0}），未写入",
     "the backup could not be kept ({0}): not written"},
    {MessageId::kBackupMemoryKept, "备份：设备中没有完好的映像（{0}），整个存储区（{1}字节）已保存到{2}",
     "Backup: the device holds no sound image ({0}); its whole memory ({1} bytes) is kept in {2}"},
    {MessageId::kBackupFolderName, "备份文件夹",
     "The backup folder"},
    {MessageId::kJournalFileName, "日志文件",
     "The journal"},
    {MessageId::kJournalFailed, "无法写入日志{0}：{1}；照常进行，但不记录",
     "Cannot write the journal {0}: {1}; going on without it"},
    {MessageId::kJournalLarge, "日志{0}已有{1}MB，超过{2}MB（日志从不删减）",
     "The journal {0} holds {1} MB, more than {2} MB (it is never cut)"},
    {MessageId::kJournalIntact, "日志完好：{0}条记录，最后一条的SHA-256为{1}",
     "Journal intact: {0} {0?record|records}, the last one's SHA-256 {1}"},
    {MessageId::kJournalMissing, "日志第{0}条记录不成立：它之前的第{1}条记录不见了",
     "Journal record {0} does not hold: record {1} before it is missing"},
    {MessageId::kJournalNotFollowing, "日志第{0}条记录不成立：它没有接在前一条记录之后（有记录被插入或改动）",
     "Journal record {0} does not hold: it does not follow the record before it (one was inserted or changed)"},
    {MessageId::kJournalChanged, "日志第{0}条记录不成立：内容与它的SHA-256不符（它被改动过）",
     "Journal record {0} does not hold: its contents do not match its SHA-256 (it was changed)"},
    {MessageId::kJournalUnreadable, "无法读取日志{0}：{1}",
     "Cannot read the journal {0}: {1}"},
    {MessageId::kJournalLost, "有{0}条记录未能写入日志{1}（{2}）",
     "{0} {0?record|records} could not be written to the journal {1} ({2})"},
    {MessageId::kJournalAltered, "日志不成立：{0}条记录的哈希都对，但日志的结构被改动过（只可追加的触发器被删除或修改，或添加了对象）",
     "Journal does not hold: its {0} {0?record|records} chain, but its schema was changed (the append-only triggers removed or altered, or objects added)"},
    {MessageId::kJournalHead, "head {0} {1} {2}",
     "head {0} {1} {2}"},
    {MessageId::kJournalHeadHeld, "保存的head {0}在日志中：第{1}条记录",
     "The kept head {0} is in the journal: record {1}"},
    {MessageId::kJournalHeadMissing, "保存的head {0}不在日志中：日志被截短、重写或替换过",
     "The kept head {0} is not in the journal: it was cut, rewritten or replaced"},
    {MessageId::kTargetNotStarted, "{0} 未启动：{1}",
     "{0} not started: {1}"},
    {MessageId::kReasonCanaryFailed, "先发的设备没有全部成功",
     "a canary device failed"},
    {MessageId::kReasonTooManyFailed, "已有{0}台设备失败",
     "{0} {0?device|devices} failed already"},
    {MessageId::kOutcomeOk, "成功", "ok"},
    {MessageId::kOutcomeCurrent, "已保存此映像，未发送", "already held the image"},
    {MessageId::kOutcomeStopped, "已中断", "stopped"},
    {MessageId::kOutcomeChunks, "数据块发送失败", "chunks failed"},
    {MessageId::kOutcomeDifferent, "校验失败", "verify failed"},
    {MessageId::kOutcomeUnreadable, "无法回读", "cannot be read back"},
    {MessageId::kOutcomePartial, "有文件未打包", "files not packed"},
    {MessageId::kOutcomeNotStarted, "未启动", "not started"},
    {MessageId::kOutcomeBackupNotKept, "无法保存备份，未写入", "the backup could not be kept: not written"},
    {MessageId::kDeltaChecking, "增量：按{0}的日志记录核对设备中的映像",
     "Delta: checking the image the journal of {0} says the device holds"},
    {MessageId::kDeltaReading, "增量：正在读出设备中的映像",
     "Delta: reading the image the device holds"},
    {MessageId::kDeltaDistrust, "增量：日志中这台设备的映像不可信（{0}），改为读出",
     "Delta: the journal's image of this device cannot be trusted ({0}): reading it"},
    {MessageId::kDeltaPlan, "增量：{3}；需写入{0}个数据块（{1}字节），完整发送需写入{2}个",
     "Delta: {3}; {0} {0?chunk|chunks} to write ({1} bytes) where a full send writes {2}"},
    {MessageId::kDeltaBaseRead, "设备中的映像用{0}个请求读出（{1}字节）",
     "the device's image read in {0} {0?request|requests} ({1} bytes)"},
    {MessageId::kDeltaBaseTrusted, "以{0}的日志为准（用{1}个请求核对），未全部校验",
     "base trusted from the journal of {0} (checked in {1} {1?request|requests}), not verified"},
    {MessageId::kDeltaWhole, "增量：{0}，发送完整映像",
     "Delta: {0}: sending the whole image"},
    {MessageId::kDeltaWhyBlank, "设备的存储区是空的",
     "the device's memory is blank"},
    {MessageId::kDeltaWhyUnreadable, "设备无法读出",
     "the device cannot be read"},
    {MessageId::kDeltaWhyNoImage, "设备中没有完好的映像",
     "the device holds no sound image"},
    {MessageId::kDeltaWhyNoRoom, "空闲空间放不下改动的文件",
     "no free space holds what changed"},
    {MessageId::kDeltaWhyTwoNames, "有两个文件的URL名相同",
     "two files share one URL name"},
    {MessageId::kDeltaDone, "增量：写入{0}个数据块，已读回核对{1}个",
     "Delta: {0} {0?chunk|chunks} written, {1} read back and equal"},
    {MessageId::kDryRun, "试运行：将写入{0}个数据块（{1}字节，{2}个请求），按测得的往返{4}毫秒约需{3}秒；什么也没有写入",
     "Dry run: would write {0} {0?chunk|chunks} ({1} bytes, {2} {2?request|requests}), about {3} s at the {4} ms round trip measured; nothing written"},
    {MessageId::kDryRunTarget, "{0} {1}",
     "{0} {1}"},
    {MessageId::kScanUnit, "{0} {1}；{2}",
     "{0} {1}; {2}"},
    {MessageId::kScanIdentity, "{0} {1} {2}",
     "{0} {1} {2}"},
    {MessageId::kScanNoIdentity, "不提供设备识别（异常{0}）",
     "no identification (exception {0})"},
    {MessageId::kScanImage, "映像：{0}个记录，{1}字节，SHA-256 {2}",
     "image: {0} {0?record|records}, {1} bytes, SHA-256 {2}"},
    {MessageId::kScanImageCurrent, "，就是要发送的映像",
     ", the image given"},
    {MessageId::kScanImageOther, "，不是要发送的映像",
     ", not the image given"},
    {MessageId::kScanNoImage, "没有完好的映像",
     "no sound image"},
    {MessageId::kScanImageUnreadable, "映像无法读出",
     "the image cannot be read"},
    {MessageId::kScanSilent, "{0} 接受连接，但没有单元回答",
     "{0} accepts connections, but no unit answered"},
    {MessageId::kScanSummary, "扫描了{0}个地址：{1}个接受连接，{2}个单元回答",
     "Scanned {0} {0?address|addresses}: {1} accepted a connection, {2} {2?unit|units} answered"},
    {MessageId::kScanTargetsFailed, "无法写入目标文件{0}：{1}",
     "Cannot write the targets file {0}: {1}"},
    {MessageId::kScanBadRange, "地址范围{0}不可用：{1}",
     "The range {0} names no addresses: {1}"},
    {MessageId::kConnectedTls, "{0}:{1} 连接成功（{2}，设备证书：{3}）",
     "{0}:{1} connected ({2}, device certificate: {3})"},
    {MessageId::kConnectFailedTls, "{0}:{1} 连接失败：{2}",
     "{0}:{1} connection failed: {2}"},
    {MessageId::kTlsExpired, "设备证书已过期", "the device's certificate has expired"},
    {MessageId::kTlsNotYetValid, "设备证书尚未生效", "the device's certificate is not valid yet"},
    {MessageId::kTlsCaExpired, "签发设备证书的CA证书已过期",
     "the CA certificate the device's certificate chains to has expired"},
    {MessageId::kTlsCaNotYetValid, "签发设备证书的CA证书尚未生效",
     "the CA certificate the device's certificate chains to is not valid yet"},
    {MessageId::kTlsUnknownIssuer, "设备证书的签发者未知（不是由所信任的CA证书签发的）",
     "the device's certificate is from an unknown issuer (it does not chain to the trusted CA)"},
    {MessageId::kTlsWrongName, "设备证书上的名称不是所连接的地址",
     "the device's certificate names another address or name"},
    {MessageId::kTlsWrongUsage, "设备证书不是用于服务器的（密钥用法或扩展密钥用法不符）",
     "the device's certificate is not made for a server (its key usage or extended key usage)"},
    {MessageId::kTlsNoCertificate, "对方没有提供证书", "the other side sent no certificate"},
    {MessageId::kTlsNoCommonVersion, "没有双方都支持的协议版本（至少要TLS 1.2）",
     "no common protocol version (TLS 1.2 or later is needed)"},
    {MessageId::kTlsTimedOut, "TLS握手在连接时限内没有完成",
     "the TLS handshake did not end within the connect time-out"},
    {MessageId::kTlsCertRefused, "设备不接受本客户端的证书（{0}）",
     "the device refused this client's certificate ({0})"},
    {MessageId::kTlsHandshake, "TLS握手失败：{0}", "the TLS handshake failed: {0}"},
    {MessageId::kTlsCertUnreadable, "无法使用证书{0}", "cannot use the certificate {0}"},
    {MessageId::kTlsKeyUnreadable, "无法使用私钥{0}", "cannot use the private key {0}"},
    {MessageId::kTlsKeyMismatch, "私钥与证书不相配：{0}", "the private key is not the certificate's: {0}"},
    {MessageId::kTlsCaUnreadable, "无法使用CA证书{0}", "cannot use the CA certificates {0}"},
    {MessageId::kTlsKeyReadable, "警告：私钥文件{0}其他用户也能读取",
     "Warning: the private key {0} can be read by other users"},
    {MessageId::kTlsAnyName, "TLS：不检查设备证书上的名称，只检查它由所信任的CA证书签发（名称any）",
     "TLS: the device certificate's name is not checked, only that it chains to the trusted CA (name any)"},
    {MessageId::kTlsPassphraseCancelled, "{0}:{1} 未连接：没有输入私钥{2}的口令",
     "{0}:{1} not connected: no passphrase given for the private key {2}"},
    {MessageId::kOverwritesTls, "{0} {1}是TLS用的文件，不会覆盖它",
     "{0} {1} is one of the TLS files: refusing to overwrite it"},
    {MessageId::kReasonTls, "连接失败：{0}", "connection failed: {0}"},
    {MessageId::kTlsRoleRefused, "设备以异常01（非法功能）拒绝写入：本证书的角色不允许写",
     "the device refused the write with exception 01 (illegal function): this certificate's role may not write"},
    {MessageId::kImageSound, "{0}个记录，{1}字节，记录链完好",
     "{0} {0?record|records}, {1} bytes, chain sound"},
    {MessageId::kFolderNotCreated, "无法创建文件夹{0}",
     "cannot create folder {0}"},
    {MessageId::kExtractRefused, "拒绝提取“{0}”：这个名称会离开{1}，或在本系统上不是普通文件的名称",
     "refusing to extract \"{0}\": the name would leave {1} or names no plain file on this system"},
    {MessageId::kGzipBroken, "{0}：gzip数据已损坏",
     "{0}: its gzip stream is broken"},
    {MessageId::kFileNotWritten, "无法写入{0}：{1}",
     "cannot write {0}: {1}"},
    {MessageId::kListenFailed, "无法在{0}端口{1}上监听：{2}",
     "cannot listen on {0} port {1}: {2}"},
    {MessageId::kStopNotTakenOver, "无法接管停止请求：{0}",
     "cannot take over the stop requests: {0}"},
    {MessageId::kWaitFailed, "等待事件失败：{0}",
     "waiting for events failed: {0}"},
    {MessageId::kImageHeadPastEnd, "偏移{0}：记录头超出了映像末尾",
     "offset {0}: record head runs past the end of the image"},
    {MessageId::kImageTagWithoutNul, "偏移{0}：标记没有结尾的NUL",
     "offset {0}: tag without its NUL"},
    {MessageId::kImageNameOutside, "偏移{0}：名称地址{1}在映像之外",
     "offset {0}: name address {1} outside the image"},
    {MessageId::kImageNameWithoutNul, "偏移{0}：偏移{1}处的名称没有结尾的NUL",
     "offset {0}: name at offset {1} without its NUL"},
    {MessageId::kImageResponseOutside, "偏移{0}：应答地址{1}在映像之外",
     "offset {0}: response address {1} outside the image"},
    {MessageId::kImageResponsePastEnd, "偏移{0}：偏移{2}处{1}字节的应答超出了映像末尾",
     "offset {0}: response of {1} {1?byte|bytes} at offset {2} runs past the end of the image"},
    {MessageId::kImageNextOutside, "偏移{0}：下一记录的地址{1}在映像之外",
     "offset {0}: next address {1} outside the image"},
    {MessageId::kImageChainGoesBack, "偏移{0}：记录链回到了偏移{1}（循环或向后的链接）",
     "offset {0}: chain goes back to offset {1} (a loop or a backward link)"},
    {MessageId::kImageNextInsideHead, "偏移{0}：偏移{1}处的下一记录开始于本记录的头之内",
     "offset {0}: next record at offset {1} starts inside this record's head"},
};

// The placeholders text uses, one bit per number; kBadText when a brace is
// not part of a well-formed placeholder.
constexpr unsigned kBadText = ~0u;
constexpr unsigned PlaceholdersOf(std::string_view text) {
    unsigned seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '}') {
            return kBadText;
        }
        if (text[i] != '{') {
            continue;
        }
        if (i + 2 >= text.size() || text[i + 1] < '0' || text[i + 1] > '9') {
            return kBadText;
        }
        seen |= 1u << (text[i + 1] - '0');
        std::size_t end = i + 2;
        if (text[end] == '?') {
            // A plural choice: two braceless words split by one bar.
            int bars = 0;
            for (++end; end < text.size() && text[end] != '}'; ++end) {
                if (text[end] == '{') {
                    return kBadText;
                }
                bars += text[end] == '|';
            }
            if (end == text.size() || bars != 1) {
                return kBadText;
            }
        } else if (text[end] != '}') {
            return kBadText;
        }
        i = end;
    }
    return seen;
}

// True when every message is in the table in its place, both texts are there,
// and both use exactly the same placeholders, numbered from {0} with no gap.
constexpr bool IsComplete() {
    if (std::size(kEntries) != kMessageCount) {
        return false;
    }
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        const Entry& entry = kEntries[i];
        const unsigned chinese = PlaceholdersOf(entry.chinese);
        if (static_cast<std::size_t>(entry.id) != i || entry.chinese.empty() ||
            entry.english.empty() || chinese == kBadText ||
            chinese != PlaceholdersOf(entry.english) || (chinese & (chinese + 1)) != 0) {
            return false;
        }
    }
    return true;
}

static_assert(IsComplete(),
              "the catalog lacks a message, holds one out of order, or its two texts differ in "
              "their placeholders");

std::string_view TextOf(MessageId id, Language language) {
    const Entry& entry = kEntries[static_cast<std::size_t>(id)];
    return language == Language::kEnglish ? entry.english : entry.chinese;
}

std::string UpperHex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

Language LanguageFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && value[0] != '\0') {
            const std::string_view locale(value);
            const bool english =
                StartsWithIgnoringCase(locale, "en") &&
                (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
            return english ? Language::kEnglish : Language::kChinese;
        }
    }
    return Language::kChinese;
}

MessageCatalog::MessageCatalog(Language language) : m_language(language) {}

std::string MessageCatalog::Text(MessageId id, std::initializer_list<std::string_view> args) const {
    // The table's texts are well formed (checked when compiled), so a brace
    // always opens a placeholder.
    const std::string_view text = TextOf(id, m_language);
    std::string line;
    line.reserve(text.size() + 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '{') {
            line += text[i];
            continue;
        }
        const std::size_t index = static_cast<std::size_t>(text[i + 1] - '0');
        const std::string_view value = index < args.size() ? *(args.begin() + index) : "";
        // Values come from files, images and devices as well as from here:
        // no control character or broken UTF-8 of theirs reaches a line.
        const std::size_t end = text.find('}', i);
        if (text[i + 2] == '?') {
            const std::string_view choice = text.substr(i + 3, end - i - 3);
            const std::size_t bar = choice.find('|');
            line += value == "1" ? choice.substr(0, bar) : choice.substr(bar + 1);
        } else {
            line += VisibleText(value);
        }
        i = end;
    }
    return line;
}

std::string MessageCatalog::Connected(std::string_view host, int port) const {
    return Text(MessageId::kConnected, {host, std::to_string(port)});
}

std::string MessageCatalog::ConnectFailed(std::string_view host, int port) const {
    return Text(MessageId::kConnectFailed, {host, std::to_string(port)});
}

std::string MessageCatalog::Disconnected() const {
    return Text(MessageId::kDisconnected);
}

std::string MessageCatalog::OptionsLine(const PackOptions& options) const {
    std::vector<std::string> parts;
    if (options.contentTypes) {
        parts.push_back(Text(MessageId::kOptionContentTypes));
    }
    if (options.gzip) {
        parts.push_back(Text(MessageId::kOptionGzip));
    }
    if (!options.siteRoot.empty()) {
        parts.push_back(Text(MessageId::kOptionSiteRoot, {options.siteRoot}));
    }
    std::string joined;
    for (const std::string& part : parts) {
        if (!joined.empty()) {
            joined += Text(MessageId::kListSeparator);
        }
        joined += part;
    }
    return Text(MessageId::kWebOptions, {joined});
}

std::vector<std::string> MessageCatalog::PackLines(const PackResult& result) const {
    std::vector<std::string> lines;
    if (result.options.Any()) {
        lines.push_back(OptionsLine(result.options));
    }
    lines.push_back(Text(MessageId::kPacking));
    if (result.mayExceedCapacity) {
        lines.push_back(Text(MessageId::kMayExceedCapacity));
    }
    for (const PackedFile& file : result.files) {
        switch (file.outcome) {
            case FileOutcome::kPacked:
                if (file.duplicateOf >= 0) {
                    lines.push_back(Text(MessageId::kDuplicateUrl, {file.urlName}));
                }
                break;
            case FileOutcome::kOpenFailed:
                lines.push_back(Text(MessageId::kOpenFailed, {file.path}));
                break;
            case FileOutcome::kReadFailed:
                lines.push_back(Text(MessageId::kReadFailed, {file.path}));
                break;
            case FileOutcome::kTooLarge:
                // The default format's line stays as it always was.
                lines.push_back(
                    result.options.Any()
                        ? Text(MessageId::kTooLargeNeeds,
                               {file.urlName, std::to_string(file.recordSize)})
                        : Text(MessageId::kTooLarge, {file.urlName}));
                break;
        }
    }
    if (!result.leftOut.empty()) {
        lines.push_back(PastLimitLine(result.leftOut, kMaxFiles));
    }
    if (result.options.Any()) {
        int notFitting = 0;
        std::uint64_t needed = 0;
        for (const PackedFile& file : result.files) {
            if (file.outcome == FileOutcome::kTooLarge) {
                ++notFitting;
                needed += file.recordSize;
            }
        }
        if (notFitting > 0) {
            const std::size_t left = result.capacity > result.length ? result.capacity - result.length : 0;
            lines.push_back(Text(MessageId::kNotFitting, {std::to_string(notFitting),
                                                          std::to_string(needed),
                                                          std::to_string(left)}));
        }
    }
    lines.push_back(Text(MessageId::kPackDone));
    return lines;
}

std::string MessageCatalog::PastLimitLine(const std::vector<std::string>& paths, int limit) const {
    std::string names;
    for (const std::string& path : paths) {
        if (!names.empty()) {
            names += Text(MessageId::kListSeparator);
        }
        names += path;
    }
    return Text(MessageId::kPastLimit,
                {std::to_string(paths.size()), std::to_string(limit), names});
}

std::string MessageCatalog::NothingSentLine(const PackResult& result, bool written) const {
    const std::string count = std::to_string(result.Skipped() + result.leftOut.size());
    return Text(written ? MessageId::kNothingWritten : MessageId::kNothingSent, {count});
}

std::vector<std::string> MessageCatalog::TargetsLines(const std::string& path,
                                                     const TargetsFile& file) const {
    std::vector<std::string> lines;
    for (const TargetsProblem& problem : file.problems) {
        const std::string line = std::to_string(problem.line);
        switch (problem.fault) {
            case TargetsFault::kUnreadable:
                lines.push_back(Text(MessageId::kTargetsUnreadable, {path}));
                break;
            case TargetsFault::kFarTooLarge:
                lines.push_back(Text(MessageId::kTargetsFarTooLarge, {path}));
                break;
            case TargetsFault::kNoTargets:
                lines.push_back(Text(MessageId::kTargetsEmpty, {path}));
                break;
            case TargetsFault::kNotATarget:
                lines.push_back(Text(MessageId::kTargetsNotATarget, {path, line, problem.text}));
                break;
            case TargetsFault::kListedTwice:
                lines.push_back(Text(MessageId::kTargetsListedTwice,
                                     {path, line, problem.text, std::to_string(problem.firstLine)}));
                break;
        }
    }
    if (file.moreProblems > 0) {
        lines.push_back(
            Text(MessageId::kTargetsMoreProblems, {path, std::to_string(file.moreProblems)}));
    }
    return lines;
}

std::string MessageCatalog::ImageErrorText(const ImageError& error) const {
    const std::string offset = std::to_string(error.offset);
    const std::string value = std::to_string(error.value);
    const std::string address = "0x" + UpperHex(static_cast<unsigned>(error.value));
    switch (error.fault) {
        case ImageFault::kHeadPastEnd:
            return Text(MessageId::kImageHeadPastEnd, {offset});
        case ImageFault::kTagWithoutNul:
            return Text(MessageId::kImageTagWithoutNul, {offset});
        case ImageFault::kNameOutside:
            return Text(MessageId::kImageNameOutside, {offset, address});
        case ImageFault::kNameWithoutNul:
            return Text(MessageId::kImageNameWithoutNul, {offset, value});
        case ImageFault::kResponseOutside:
            return Text(MessageId::kImageResponseOutside, {offset, address});
        case ImageFault::kResponsePastEnd:
            return Text(MessageId::kImageResponsePastEnd,
                        {offset, value, std::to_string(error.at)});
        case ImageFault::kNextOutside:
            return Text(MessageId::kImageNextOutside, {offset, address});
        case ImageFault::kChainGoesBack:
            return Text(MessageId::kImageChainGoesBack, {offset, value});
        case ImageFault::kNextInsideHead:
            return Text(MessageId::kImageNextInsideHead, {offset, value});
        case ImageFault::kNone:
            break;
    }
    return error.Message();
}

std::string MessageCatalog::ImageFileLine(const std::string& path, const ImageFile& file) const {
    const std::string size = std::to_string(file.size);
    switch (file.fault) {
        case ImageFileFault::kNone:
            return {};
        case ImageFileFault::kUnreadable:
            return Text(MessageId::kImageUnreadable, {path});
        case ImageFileFault::kFarTooLarge:
            return Text(MessageId::kImageFarTooLarge, {path});
        case ImageFileFault::kLargerThanMemory:
            return Text(MessageId::kImageLargerThanMemory,
                        {path, size, std::to_string(kImageCapacity)});
        case ImageFileFault::kOddLength:
            return Text(MessageId::kImageOddLength, {path, size});
        case ImageFileFault::kEmpty:
            return Text(MessageId::kImageEmpty, {path});
        case ImageFileFault::kBroken:
            break;
    }
    return Text(MessageId::kImageBroken, {path, ImageErrorText(file.error)});
}

std::string MessageCatalog::ChunkLine(const ChunkOutcome& outcome) const {
    MessageId id = MessageId::kChunkRejected;
    switch (outcome.result) {
        case Outcome::kGood:
            return {};
        case Outcome::kWrong:
        case Outcome::kBusy:
        case Outcome::kRefused:
            id = MessageId::kChunkRejected;
            break;
        case Outcome::kNoReply:
            id = MessageId::kChunkNoReply;
            break;
        case Outcome::kConnectionLost:
            id = MessageId::kChunkConnectionLost;
            break;
    }
    return Text(id, {std::to_string(outcome.sent), std::to_string(outcome.pageOffset),
                     UpperHex(outcome.fileNumber)});
}

std::string MessageCatalog::TryFailure(Outcome why) const {
    switch (why) {
        case Outcome::kNoReply:
            return Text(MessageId::kTryNoReply);
        case Outcome::kBusy:
            return Text(MessageId::kTryBusy);
        case Outcome::kConnectionLost:
            return Text(MessageId::kTryConnectionLost);
        case Outcome::kGood:
        case Outcome::kWrong:
        case Outcome::kRefused:
            break;
    }
    return Text(MessageId::kTryWrong);
}

std::string MessageCatalog::RetryLine(const RequestSpan& request, Outcome why, int retry) const {
    if (request.write) {
        const ChunkOutcome chunk = ChunkOutcomeOf(request, {why});
        return Text(MessageId::kChunkRetry,
                    {std::to_string(chunk.sent), std::to_string(chunk.pageOffset),
                     UpperHex(chunk.fileNumber), TryFailure(why), std::to_string(retry)});
    }
    return Text(MessageId::kReadRetry,
                {std::to_string(request.offset), TryFailure(why), std::to_string(retry)});
}

std::vector<std::string> MessageCatalog::EndLines(const DownloadReport& report) const {
    std::vector<std::string> lines;
    if (report.failedChunks > 0) {
        lines.push_back(Text(MessageId::kFailedChunks, {std::to_string(report.failedChunks)}));
    }
    lines.push_back(Text(MessageId::kSendEnd));
    return lines;
}

std::string MessageCatalog::WhyUnreadable(const VerifyReport& report) const {
    const std::string at = std::to_string(report.failedAt);
    if (report.exceptionCode != 0) {
        return Text(MessageId::kWhyException, {std::to_string(report.exceptionCode)});
    }
    switch (report.failure) {
        case Outcome::kNoReply:
            return Text(MessageId::kWhyNoReply, {at});
        case Outcome::kConnectionLost:
            return Text(MessageId::kWhyConnectionLost, {at});
        case Outcome::kGood:
        case Outcome::kWrong:
        case Outcome::kBusy:
        case Outcome::kRefused:
            break;
    }
    return Text(MessageId::kWhyMalformed, {at});
}

std::vector<std::string> MessageCatalog::VerifyLines(const VerifyReport& report,
                                                     bool downloaded) const {
    switch (report.outcome) {
        case VerifyOutcome::kEqual:
            return {Text(MessageId::kVerifyEqual, {std::to_string(report.length)})};
        case VerifyOutcome::kDifferent:
            return {Text(MessageId::kVerifyDifferent, {std::to_string(report.differingBytes),
                                                       std::to_string(report.firstDifference)})};
        case VerifyOutcome::kUnreadable:
            break;
    }
    std::vector<std::string> lines = {Text(MessageId::kVerifyUnreadable, {WhyUnreadable(report)})};
    if (downloaded) {
        lines.push_back(Text(MessageId::kVerifyNotDone));
    }
    return lines;
}

std::string MessageCatalog::WhyUnreadable(const PullReport& report) const {
    VerifyReport read;
    read.failure = report.failure;
    read.exceptionCode = report.exceptionCode;
    read.failedAt = report.failedAt;
    return WhyUnreadable(read);
}

std::vector<std::string> MessageCatalog::ReadOutLines(const PullReport& report,
                                                      const std::string& file,
                                                      const std::string& error,
                                                      bool backup) const {
    switch (report.outcome) {
        case PullOutcome::kImage: {
            if (!error.empty()) {
                return {backup ? Text(MessageId::kBackupNotKept, {error})
                               : Text(MessageId::kImageNotWritten, {file, error})};
            }
            const std::string bytes = std::to_string(report.image.size());
            if (backup) {
                return {Text(MessageId::kBackupKept, {bytes, file})};
            }
            const std::string_view image(reinterpret_cast<const char*>(report.image.data()),
                                         report.image.size());
            return {Text(MessageId::kReadOutDone,
                         {std::to_string(ReadImage(image).records.size()), bytes, file})};
        }
        case PullOutcome::kNoImage:
            if (backup && !error.empty()) {
                return {Text(MessageId::kBackupNotKept, {error})};
            }
            if (backup && !file.empty()) {
                return {Text(MessageId::kBackupMemoryKept,
                             {ImageErrorText(report.error), std::to_string(kImageCapacity), file})};
            }
            return {Text(backup ? MessageId::kBackupNoImage : MessageId::kNoImageHeld,
                         {ImageErrorText(report.error)})};
        case PullOutcome::kUnreadable:
            return {backup ? Text(MessageId::kBackupUnreadable, {WhyUnreadable(report)})
                           : Text(MessageId::kVerifyUnreadable, {WhyUnreadable(report)})};
        case PullOutcome::kStopped:
            break;
    }
    return {};  // said by the stop's own line
}

std::string MessageCatalog::TargetFailure(const DeviceReport& device) const {
    const TargetResult& result = device.facts;
    switch (device.Outcome()) {
        case DeviceOutcome::kOk:
        case DeviceOutcome::kCurrent:
            return {};
        case DeviceOutcome::kNoConnection:
            return result.tlsFailure != tls::Failure::kNone
                       ? Text(MessageId::kReasonTls,
                              {TlsFailureText(result.tlsFailure, result.tlsDetail)})
                       : Text(MessageId::kReasonConnectFailed);
        case DeviceOutcome::kStopped:
            return Text(MessageId::kVerifyInterrupted);
        case DeviceOutcome::kConnectionLost:
            return Text(MessageId::kReasonConnectionLost);
        case DeviceOutcome::kChunksFailed:
            return Text(MessageId::kReasonChunks, {std::to_string(result.download.failedChunks)});
        case DeviceOutcome::kDifferent:
            return Text(MessageId::kReasonDifferent,
                        {std::to_string(result.verify->differingBytes),
                         std::to_string(result.verify->firstDifference)});
        case DeviceOutcome::kUnreadable: {
            if (!result.downloaded && result.pull) {
                return Text(MessageId::kReasonUnreadable, {WhyUnreadable(*result.pull)});
            }
            const std::optional<VerifyReport>& read = result.verify ? result.verify : result.precheck;
            return Text(MessageId::kReasonUnreadable, {read ? WhyUnreadable(*read) : ""});
        }
        case DeviceOutcome::kNoImage:
            return Text(MessageId::kReasonNoImage);
        case DeviceOutcome::kNotStarted:
            return result.canaryFailed
                       ? Text(MessageId::kReasonCanaryFailed)
                       : Text(MessageId::kReasonTooManyFailed,
                              {std::to_string(result.failuresBefore)});
        case DeviceOutcome::kBackupNotKept:
            return Text(MessageId::kReasonBackupNotKept, {result.backupError});
        case DeviceOutcome::kPartial:
            break;
    }
    return Text(MessageId::kReasonNotPacked, {std::to_string(device.filesLeftOut)});
}

std::string MessageCatalog::TargetLine(const DeviceReport& device) const {
    const std::string seconds = Seconds(device.facts.seconds);
    const std::string target = device.facts.target.Text();
    if (device.facts.dryRun && device.facts.delta && device.Succeeded()) {
        return Text(MessageId::kDryRunTarget, {target, DryRunLine(*device.facts.delta)});
    }
    switch (device.Outcome()) {
        case DeviceOutcome::kCurrent:
            return Text(MessageId::kTargetCurrent, {target, seconds});
        case DeviceOutcome::kOk:
            return Text(MessageId::kTargetDone, {target, seconds});
        case DeviceOutcome::kNotStarted:
            return Text(MessageId::kTargetNotStarted, {target, TargetFailure(device)});
        default:
            break;
    }
    return Text(MessageId::kTargetFailed, {target, TargetFailure(device), seconds});
}

std::vector<std::string> MessageCatalog::RefusalLines(const PlanProblem& problem,
                                                      const FieldNames& names) const {
    const std::string name = names ? names(problem.field) : std::string();
    switch (problem.fault) {
        case PlanFault::kNotAFolder:
            return {Text(MessageId::kNotAFolder, {name + " " + problem.path})};
        case PlanFault::kNoFilesInFolder:
            return {Text(MessageId::kNoFilesInFolder, {name + " " + problem.path})};
        case PlanFault::kTargets:
            return TargetsLines(problem.path, problem.targets);
        case PlanFault::kImageFile:
            return {ImageFileLine(problem.path, problem.image)};
        case PlanFault::kOverwritesFile:
            return {Text(MessageId::kOverwritesInput, {name, problem.path})};
        case PlanFault::kOverwritesImage:
            return {Text(MessageId::kOverwritesImage, {name, problem.path})};
        case PlanFault::kOverwritesTargets:
            return {Text(MessageId::kOverwritesTargets, {name, problem.path})};
        case PlanFault::kOutputsCollide:
            return {Text(MessageId::kOutputsCollide,
                         {name, names ? names(problem.other) : std::string(), problem.path})};
        case PlanFault::kTraceUnwritable:
            return {Text(MessageId::kTraceCannotWrite, {problem.path})};
        case PlanFault::kNothingToCompare:
            return {Text(MessageId::kVerifyNothing)};
        case PlanFault::kPartial:
            break;  // said with the packed image, by NothingSentLine
        case PlanFault::kImageNotWritten:
            return {Text(MessageId::kImageNotWritten, {problem.path, problem.error})};
        case PlanFault::kBackupUnusable:
            return {Text(MessageId::kBackupUnusable, {name, problem.path})};
        case PlanFault::kOverwritesTls:
            return {Text(MessageId::kOverwritesTls, {name, problem.path})};
        case PlanFault::kTlsFiles:
            return {TlsFailureText(problem.tlsFailure, problem.error)};
        case PlanFault::kRange:
            return {Text(MessageId::kScanBadRange, {problem.path, problem.error})};
    }
    return {};
}

std::string MessageCatalog::TlsFailureText(tls::Failure failure, const std::string& detail) const {
    switch (failure) {
        case tls::Failure::kNone:
            return {};
        case tls::Failure::kExpired:
            return Text(MessageId::kTlsExpired);
        case tls::Failure::kNotYetValid:
            return Text(MessageId::kTlsNotYetValid);
        case tls::Failure::kCaExpired:
            return Text(MessageId::kTlsCaExpired);
        case tls::Failure::kCaNotYetValid:
            return Text(MessageId::kTlsCaNotYetValid);
        case tls::Failure::kUnknownIssuer:
            return Text(MessageId::kTlsUnknownIssuer);
        case tls::Failure::kWrongName:
            return Text(MessageId::kTlsWrongName);
        case tls::Failure::kWrongUsage:
            return Text(MessageId::kTlsWrongUsage);
        case tls::Failure::kNoCertificate:
            return Text(MessageId::kTlsNoCertificate);
        case tls::Failure::kNoCommonVersion:
            return Text(MessageId::kTlsNoCommonVersion);
        case tls::Failure::kTimedOut:
            return Text(MessageId::kTlsTimedOut);
        case tls::Failure::kCertRefused: {
            // OpenSSL's "error:...:SSL routines::tlsv1 alert unknown ca": the alert.
            const std::size_t words = detail.rfind("::");
            return Text(MessageId::kTlsCertRefused,
                        {words == std::string::npos ? detail : detail.substr(words + 2)});
        }
        case tls::Failure::kCertUnreadable:
            return Text(MessageId::kTlsCertUnreadable, {detail});
        case tls::Failure::kKeyUnreadable:
            return Text(MessageId::kTlsKeyUnreadable, {detail});
        case tls::Failure::kKeyMismatch:
            return Text(MessageId::kTlsKeyMismatch, {detail});
        case tls::Failure::kCaUnreadable:
            return Text(MessageId::kTlsCaUnreadable, {detail});
        case tls::Failure::kHandshake:
            break;
    }
    return Text(MessageId::kTlsHandshake, {detail});
}

std::string MessageCatalog::ConnectLine(const FleetTarget& target, bool ok,
                                        const TargetResult& facts) const {
    const std::string port = std::to_string(target.port);
    if (ok && !facts.tlsVersion.empty()) {
        return Text(MessageId::kConnectedTls,
                    {target.address, port, facts.tlsVersion, facts.tlsSubject});
    }
    if (!ok && facts.tlsFailure != tls::Failure::kNone) {
        return Text(MessageId::kConnectFailedTls,
                    {target.address, port, TlsFailureText(facts.tlsFailure, facts.tlsDetail)});
    }
    return ok ? Connected(target.address, target.port) : ConnectFailed(target.address, target.port);
}

std::string MessageCatalog::OutcomeWord(std::string_view outcome) const {
    static constexpr std::pair<std::string_view, MessageId> kWords[] = {
        {"ok", MessageId::kOutcomeOk},
        {"current", MessageId::kOutcomeCurrent},
        {"no-connection", MessageId::kReasonConnectFailed},
        {"stopped", MessageId::kOutcomeStopped},
        {"connection-lost", MessageId::kReasonConnectionLost},
        {"chunks-failed", MessageId::kOutcomeChunks},
        {"different", MessageId::kOutcomeDifferent},
        {"unreadable", MessageId::kOutcomeUnreadable},
        {"no-image", MessageId::kReasonNoImage},
        {"backup-not-kept", MessageId::kOutcomeBackupNotKept},
        {"partial", MessageId::kOutcomePartial},
        {"not-started", MessageId::kOutcomeNotStarted},
    };
    for (const auto& [code, id] : kWords) {
        if (code == outcome) {
            return Text(id);
        }
    }
    return VisibleText(outcome);
}

std::string MessageCatalog::JournalCheckLine(const std::string& path,
                                             const JournalCheck& check) const {
    const std::string at = std::to_string(check.brokenAt);
    switch (check.fault) {
        case JournalFault::kNone:
            return Text(MessageId::kJournalIntact,
                        {std::to_string(check.records), check.headSha256});
        case JournalFault::kMissing:
            return Text(MessageId::kJournalMissing, {at, std::to_string(check.expected)});
        case JournalFault::kNotFollowing:
            return Text(MessageId::kJournalNotFollowing, {at});
        case JournalFault::kChanged:
            return Text(MessageId::kJournalChanged, {at});
        case JournalFault::kAltered:
            return Text(MessageId::kJournalAltered, {std::to_string(check.records)});
        case JournalFault::kUnreadable:
            break;
    }
    return Text(MessageId::kJournalUnreadable, {path, check.why});
}

std::string MessageCatalog::StoppedLine(const DeviceReport& device) const {
    const TargetResult& facts = device.facts;
    if (!facts.connected) {
        return Text(MessageId::kConnectCancelled,
                    {facts.target.address, std::to_string(facts.target.port)});
    }
    if (device.kind == JobKind::kPull) {
        return Text(MessageId::kReadOutStopped);
    }
    if (device.kind == JobKind::kSend && !facts.downloaded) {
        return Text(MessageId::kSendInterruptedUnsent);  // stopped in the backup, before writing
    }
    if (facts.downloaded && facts.download.stopped) {
        const DownloadReport& download = facts.download;
        return Text(download.requestsSent == 0 ? MessageId::kSendInterruptedUnsent
                                               : MessageId::kSendInterrupted,
                    {std::to_string(download.echoedPrefix), std::to_string(download.imageLength)});
    }
    return Text(MessageId::kVerifyInterrupted);
}

std::string MessageCatalog::SiteSkippedLine(const SkippedEntry& entry) const {
    MessageId why = MessageId::kSkipNotAFile;
    switch (entry.why) {
        case SiteSkip::kDanglingLink:
            why = MessageId::kSkipDanglingLink;
            break;
        case SiteSkip::kLinkLoop:
            why = MessageId::kSkipLinkLoop;
            break;
        case SiteSkip::kNotAFile:
            why = MessageId::kSkipNotAFile;
            break;
        case SiteSkip::kUnreadableFolder:
            why = MessageId::kSkipUnreadableFolder;
            break;
    }
    return Text(MessageId::kSiteSkipped, {entry.relativePath, Text(why)});
}

std::string MessageCatalog::FleetSummary(int devices, int succeeded) const {
    return Text(MessageId::kFleetSummary, {std::to_string(devices), std::to_string(succeeded),
                                           std::to_string(devices - succeeded)});
}

std::string MessageCatalog::DeltaStartLine(const DeltaFacts& delta, bool checking) const {
    if (checking) {
        return Text(MessageId::kDeltaChecking, {delta.trustedFrom});
    }
    return delta.distrust.empty() ? Text(MessageId::kDeltaReading)
                                  : Text(MessageId::kDeltaDistrust, {delta.distrust});
}

std::vector<std::string> MessageCatalog::DeltaPlanLines(const DeltaFacts& delta) const {
    std::vector<std::string> lines;
    if (delta.onlyChanges && delta.base == DeltaFacts::Base::kNone) {
        MessageId why = MessageId::kDeltaWhyNoImage;
        switch (delta.fallback) {
            case DeltaFacts::Fallback::kBlank:
                why = MessageId::kDeltaWhyBlank;
                break;
            case DeltaFacts::Fallback::kUnreadable:
                why = MessageId::kDeltaWhyUnreadable;
                break;
            case DeltaFacts::Fallback::kNoRoom:
                why = MessageId::kDeltaWhyNoRoom;
                break;
            case DeltaFacts::Fallback::kDuplicateNames:
                why = MessageId::kDeltaWhyTwoNames;
                break;
            case DeltaFacts::Fallback::kNoImage:
            case DeltaFacts::Fallback::kNone:
                break;
        }
        lines.push_back(Text(MessageId::kDeltaWhole, {Text(why)}));
    } else if (delta.onlyChanges) {
        const std::string base =
            delta.base == DeltaFacts::Base::kTrusted
                ? Text(MessageId::kDeltaBaseTrusted,
                       {delta.trustedFrom, std::to_string(delta.readRequests)})
                : Text(MessageId::kDeltaBaseRead,
                       {std::to_string(delta.readRequests), std::to_string(delta.readBytes)});
        lines.push_back(Text(MessageId::kDeltaPlan,
                             {std::to_string(delta.chunksWritten), std::to_string(delta.bytesWritten),
                              std::to_string(delta.fullChunks), base}));
    }
    return lines;
}

std::string MessageCatalog::DeltaDoneLine(const DeltaFacts& delta) const {
    return Text(MessageId::kDeltaDone,
                {std::to_string(delta.chunksWritten), std::to_string(delta.chunksReadBack)});
}

std::string MessageCatalog::DryRunLine(const DeltaFacts& plan) const {
    const int reads = plan.readBackRequests;
    char roundTrip[32];
    std::snprintf(roundTrip, sizeof roundTrip, "%.1f", plan.roundTripMs);
    return Text(MessageId::kDryRun,
                {std::to_string(plan.chunksWritten), std::to_string(plan.bytesWritten),
                 std::to_string(plan.chunksWritten + reads), Seconds(plan.estimateSeconds),
                 roundTrip});
}

std::string MessageCatalog::ScanIdentity(const UnitScan& unit) const {
    const IdentityReport& identity = unit.identity;
    if (identity.answer != IdentityReport::Answer::kIdentified) {
        return Text(MessageId::kScanNoIdentity, {UpperHex(identity.exceptionCode)});
    }
    return Text(MessageId::kScanIdentity,
                {VisibleText(identity.Object(modbus::kVendorName).value_or("-")),
                 VisibleText(identity.Object(modbus::kProductCode).value_or("-")),
                 VisibleText(identity.Object(modbus::kMajorMinorRevision).value_or("-"))});
}

std::string MessageCatalog::ScanImage(const UnitScan& unit, std::size_t shaDigits) const {
    if (unit.imageSha256.empty()) {
        return Text(unit.image && unit.image->outcome == PullOutcome::kNoImage
                        ? MessageId::kScanNoImage
                        : MessageId::kScanImageUnreadable);
    }
    return Text(MessageId::kScanImage, {std::to_string(unit.imageRecords),
                                        std::to_string(unit.imageBytes),
                                        unit.imageSha256.substr(0, shaDigits)});
}

std::vector<std::string> MessageCatalog::ScanLines(const DeviceReport& device) const {
    std::vector<std::string> lines;
    const FleetTarget& target = device.facts.target;
    for (const UnitScan& unit : device.facts.scan) {
        if (!unit.identity.Answered()) {
            continue;
        }
        std::string image = ScanImage(unit);
        if (unit.current && !unit.imageSha256.empty()) {
            image += Text(*unit.current ? MessageId::kScanImageCurrent : MessageId::kScanImageOther);
        }
        lines.push_back(Text(MessageId::kScanUnit,
                             {target.address + ":" + std::to_string(target.port) + "/" +
                                  std::to_string(unit.unit),
                              ScanIdentity(unit), image}));
    }
    if (lines.empty() && device.facts.connected) {
        lines.push_back(Text(MessageId::kScanSilent, {target.Text()}));
    }
    return lines;
}

std::string MessageCatalog::ScanSummary(const JobReport& report) const {
    int connected = 0;
    int answered = 0;
    for (const DeviceReport& device : report.devices) {
        connected += device.facts.connected ? 1 : 0;
        for (const UnitScan& unit : device.facts.scan) {
            answered += unit.identity.Answered() ? 1 : 0;
        }
    }
    return Text(MessageId::kScanSummary, {std::to_string(report.targets.size()),
                                          std::to_string(connected), std::to_string(answered)});
}

std::string MessageCatalog::Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

}  // namespace kelvarin
