// Modbus/TCP Security: the unchanged MBAP frame inside TLS 1.2 or later,
// certificates checked both ways, over the socket layer's non-blocking
// sockets, with OpenSSL (the one TLS library). Every call returns at once;
// whoever owns the socket waits, so every bounded wait of a plain link holds
// for a TLS one too.
#pragma once

#include "net.h"

#include <map>
#include <optional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;

namespace kelvarin::tls {

// What is wrong with a TLS connection, or with the files it needs, in the
// operator's terms.
enum class Failure {
    kNone,
    kCertUnreadable,   // detail: the file, and why
    kKeyUnreadable,    // detail: the file, and why (a passphrase missing or wrong included)
    kKeyMismatch,      // the key is not the certificate's
    kCaUnreadable,     // detail: the file, and why
    kExpired,          // the peer's certificate has expired
    kNotYetValid,      // the peer's certificate is not valid yet
    kCaExpired,        // a CA certificate of the peer's chain has expired
    kCaNotYetValid,    // a CA certificate of the peer's chain is not valid yet
    kUnknownIssuer,    // the peer's certificate does not chain to the CA
    kWrongName,        // the peer's certificate does not name the address or name asked for
                       // in its subjectAltName
    kWrongUsage,       // the peer's certificate is not made for its side: its (extended)
                       // key usage leaves out a server's (a device's) or a client's
    kNoCertificate,    // the peer sent no certificate
    kNoCommonVersion,  // no protocol version both take (TLS 1.2 or later here)
    kCertRefused,      // the peer refused this side's certificate (TLS 1.3 tells it only
                       // after the handshake, on the first read); detail: the alert
    kTimedOut,         // the handshake did not end within the connect time-out
    kHandshake,        // any other handshake failure; detail: OpenSSL's words
};

// A client's files and the name its peer's certificate must hold.
struct ClientSettings {
    std::string cert;             // PEM: this client's certificate
    std::string key;              // PEM: its private key
    std::string keyPassword;      // the key's passphrase, when it is encrypted
    std::string ca;               // PEM: the certificates a device's must chain to
    std::string name;             // empty: the address (or host name) dialled; "any": no name check
                                  // (a name is looked for in subjectAltName only, never in the CN)
};

// A server's files.
struct ServerSettings {
    std::string cert;
    std::string key;
    std::string ca;  // PEM: the certificates a client's must chain to
};

// The role a client certificate names (extension 1.3.6.1.4.1.50316.802.1).
inline constexpr const char* kRoleOid = "1.3.6.1.4.1.50316.802.1";

// The passphrase in the first line of the file at path (its line end
// dropped); nothing when it cannot be read.
std::optional<std::string> ReadPassphrase(const std::string& path);

// True when the PEM private key at path is encrypted (needs a passphrase).
bool KeyIsEncrypted(const std::string& path);

// An OpenSSL context for one side, made once from its files: TLS 1.2 or
// later only, suites with SHA-256 or better, the peer's certificate
// required and checked against the CA. A client context keeps the last
// session of each peer, so a connection made again resumes it.
class Context {
  public:
    // Nothing, with what is wrong in *failure and *detail, when a file
    // cannot be used.
    static std::shared_ptr<Context> Client(const ClientSettings& settings, Failure* failure,
                                           std::string* detail);
    static std::shared_ptr<Context> Server(const ServerSettings& settings, Failure* failure,
                                           std::string* detail);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    ssl_ctx_st* Get() const { return m_ctx; }
    bool IsClient() const { return m_client; }
    // The name a device's certificate must hold: empty for the address
    // dialled, "any" for none.
    const std::string& Name() const { return m_name; }

    // The session to resume with peer (nothing: none kept yet), and the
    // newest one to keep; thread-safe.
    ssl_session_st* TakeSession(const std::string& peer);
    void KeepSession(const std::string& peer, ssl_session_st* session);

  private:
    Context(ssl_ctx_st* ctx, bool client, std::string name);

    ssl_ctx_st* m_ctx;
    bool m_client;
    std::string m_name;
    std::mutex m_lock;
    std::map<std::string, ssl_session_st*> m_sessions;
};

// One TLS connection over a connected non-blocking socket (not owned).
class Stream {
  public:
    // A client's stream checks its peer's certificate against the name the
    // context says, else against dialled (an IPv4 address or a host name);
    // peer names the device for session resumption ("ADDRESS:PORT").
    Stream(std::shared_ptr<Context> context, net::Socket socket, const std::string& dialled,
           const std::string& peer);
    // A server's stream.
    Stream(std::shared_ptr<Context> context, net::Socket socket);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Takes the handshake as far as it goes now: kOk once done, kWouldBlock
    // with what to wait for in *wantRead / *wantWrite, kFailed (Why()).
    net::Status Handshake(bool* wantRead, bool* wantWrite);

    // As net::Receive and net::Send, through TLS: kOk with a count, kWouldBlock,
    // kClosed (the peer's close), kFailed.
    net::IoResult Read(void* buffer, std::size_t length);
    net::IoResult Write(const void* data, std::size_t length);

    // True when decrypted bytes wait to be read: a read gets them without
    // the socket becoming readable.
    bool Buffered() const;

    // Sends the close notice, as far as the socket takes it now.
    void Shutdown();

    // After the handshake: "TLSv1.3", the peer certificate's subject
    // ("CN=..."), and whether a kept session was resumed.
    std::string Version() const;
    std::string PeerSubject() const;
    bool Resumed() const;
    // The SHA-256 fingerprint of the peer's certificate, 64 lowercase hex
    // digits without colons; empty when there is no peer certificate.
    std::string PeerFingerprint() const;
    // The role the peer's certificate names (kRoleOid): empty for none.
    // Nothing when it cannot be read as at most one role: two or more role
    // extensions, or one whose value is not exactly one UTF8String.
    std::optional<std::string> PeerRole() const;
    // "TLSv1.3, session resumed" or "TLSv1.3, full handshake".
    std::string Facts() const;

    // Why the handshake or the stream failed.
    Failure Why() const { return m_failure; }
    const std::string& Detail() const { return m_detail; }

  private:
    void Fail(int result);
    void FailStream();

    std::shared_ptr<Context> m_context;
    ssl_st* m_ssl = nullptr;
    std::string m_peer;
    Failure m_failure = Failure::kNone;
    std::string m_detail;
    int m_verifyDepth = -1;  // where in the peer's chain the check failed: 0 its own certificate
    bool m_done = false;
};

}  // namespace kelvarin::tls
