// TLS over OpenSSL: contexts for each side, and a stream over a non-blocking
// socket whose every call returns at once.
#include "tls.h"

#include "files.h"
#include "ipv4.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <fstream>

namespace kelvarin::tls {

namespace {

// TLS 1.2's suites with ephemeral keys, AEAD and SHA-256 or better (TLS
// 1.3's are all of that already): among them the protocol's
// TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256 and its ECDSA twin.
const char* const kTls12Suites = "ECDHE+AESGCM:ECDHE+CHACHA20:!aNULL:!eNULL:!SHA1";

// OpenSSL's last error, as text.
std::string LastError() {
    const unsigned long code = ERR_peek_last_error();
    if (code == 0) {
        return "unknown error";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

int PassphraseCallback(char* buffer, int size, int /*writing*/, void* data) {
    const auto* passphrase = static_cast<const std::string*>(data);
    if (!passphrase || passphrase->empty()) {
        return -1;  // an encrypted key without its passphrase fails to load
    }
    const int length = static_cast<int>(std::min<std::size_t>(passphrase->size(), size));
    std::memcpy(buffer, passphrase->data(), static_cast<std::size_t>(length));
    return length;
}

// Keeps a client session as the newest of its peer.
int NewSession(SSL* ssl, SSL_SESSION* session) {
    auto* context = static_cast<Context*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    auto* peer = static_cast<const std::string*>(SSL_get_app_data(ssl));
    if (!context || !peer) {
        return 0;
    }
    context->KeepSession(*peer, session);
    return 1;  // the reference is the context's now
}

SSL_CTX* NewContext(bool client) {
    SSL_CTX* ctx = SSL_CTX_new(client ? TLS_client_method() : TLS_server_method());
    if (!ctx) {
        return nullptr;
    }
    // Never a fall-back to TLS 1.1, 1.0 or SSL.
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_cipher_list(ctx, kTls12Suites);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A peer that closes without the close notice has closed, as over plain
    // TCP: every Modbus frame carries its own length, so nothing cut short
    // passes for whole.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return ctx;
}

// Loads the certificate and key of one side, then the CA its peer's must
// chain to. False with what is wrong.
bool LoadFiles(SSL_CTX* ctx, const std::string& cert, const std::string& key,
               const std::string& passphrase, const std::string& ca, Failure* failure,
               std::string* detail) {
    ERR_clear_error();
    if (SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) != 1) {
        *failure = Failure::kCertUnreadable;
        *detail = cert + ": " + LastError();
        return false;
    }
    SSL_CTX_set_default_passwd_cb(ctx, PassphraseCallback);
    SSL_CTX_set_default_passwd_cb_userdata(ctx, const_cast<std::string*>(&passphrase));
    const bool loaded = SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) == 1;
    SSL_CTX_set_default_passwd_cb_userdata(ctx, nullptr);
    if (!loaded) {
        *failure = Failure::kKeyUnreadable;
        *detail = key + ": " + (KeyIsEncrypted(key) && passphrase.empty()
                                    ? std::string("encrypted, and no passphrase given")
                                    : LastError());
        return false;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        *failure = Failure::kKeyMismatch;
        *detail = key + ", " + cert;
        return false;
    }
    if (SSL_CTX_load_verify_locations(ctx, ca.c_str(), nullptr) != 1) {
        *failure = Failure::kCaUnreadable;
        *detail = ca + ": " + LastError();
        return false;
    }
    return true;
}

// Where a stream keeps the depth in the peer's chain of the first failed
// certificate check (an int, -1 for none): an index of OpenSSL's own data
// of a connection.
int VerifyDepthIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Called by OpenSSL for each certificate of the peer's chain: keeps the
// depth of the first failure (0: the peer's own certificate), which the
// result code alone does not say. Changes no outcome.
int NoteVerifyDepth(int ok, X509_STORE_CTX* store) {
    if (ok == 1) {
        return ok;
    }
    auto* ssl = static_cast<SSL*>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* depth = ssl ? static_cast<int*>(SSL_get_ex_data(ssl, VerifyDepthIndex())) : nullptr;
    if (depth && *depth < 0) {
        *depth = X509_STORE_CTX_get_error_depth(store);
    }
    return ok;
}

// The failure a certificate check's result names; depth is where in the
// peer's chain it failed (0: the peer's own certificate, more: a CA's).
// Nothing for a result none of them names.
std::optional<Failure> FailureOfVerify(long result, int depth) {
    const bool ca = depth > 0;
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return ca ? Failure::kCaExpired : Failure::kExpired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return ca ? Failure::kCaNotYetValid : Failure::kNotYetValid;
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
        case X509_V_ERR_HOSTNAME_MISMATCH:
            return Failure::kWrongName;
        case X509_V_ERR_INVALID_PURPOSE:
            // A CA's certificate not made for the purpose is no fault of the
            // peer's own: said in OpenSSL's words.
            return ca ? std::nullopt : std::optional<Failure>(Failure::kWrongUsage);
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
        case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
        case X509_V_ERR_CERT_UNTRUSTED:
        case X509_V_ERR_CERT_REJECTED:
            return Failure::kUnknownIssuer;
        default:
            break;
    }
    return std::nullopt;
}

// True for the alerts a peer sends when it will not take this side's
// certificate.
bool CertificateAlert(int reason) {
    switch (reason) {
        case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
        case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_REVOKED:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
        case SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE:
        case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
        case SSL_R_TLSV1_ALERT_ACCESS_DENIED:
            return true;
        default:
            break;
    }
    return false;
}

}  // namespace

std::optional<std::string> ReadPassphrase(const std::string& path) {
    bool tooLarge = false;
    std::optional<std::string> text = ReadRegularFile(path, 65536, &tooLarge);
    if (!text) {
        return std::nullopt;
    }
    const std::size_t end = text->find_first_of("\r\n");
    return end == std::string::npos ? *text : text->substr(0, end);
}

bool KeyIsEncrypted(const std::string& path) {
    bool tooLarge = false;
    const std::optional<std::string> text = ReadRegularFile(path, 1 << 20, &tooLarge);
    return text && (text->find("ENCRYPTED PRIVATE KEY") != std::string::npos ||
                    text->find("Proc-Type: 4,ENCRYPTED") != std::string::npos);
}

Context::Context(SSL_CTX* ctx, bool client, std::string name)
    : m_ctx(ctx), m_client(client), m_name(std::move(name)) {
    SSL_CTX_set_app_data(m_ctx, this);
}

Context::~Context() {
    for (auto& [peer, session] : m_sessions) {
        SSL_SESSION_free(session);
    }
    SSL_CTX_free(m_ctx);
}

std::shared_ptr<Context> Context::Client(const ClientSettings& settings, Failure* failure,
                                         std::string* detail) {
    SSL_CTX* ctx = NewContext(true);
    if (!ctx) {
        *failure = Failure::kHandshake;
        *detail = LastError();
        return nullptr;
    }
    if (!LoadFiles(ctx, settings.cert, settings.key, settings.keyPassword, settings.ca, failure,
                   detail)) {
        SSL_CTX_free(ctx);
        return nullptr;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    // Sessions are kept by the context, a peer each, to resume after a
    // reconnect: one full handshake a device.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, NewSession);
    return std::shared_ptr<Context>(new Context(ctx, true, settings.name));
}

std::shared_ptr<Context> Context::Server(const ServerSettings& settings, Failure* failure,
                                         std::string* detail) {
    SSL_CTX* ctx = NewContext(false);
    if (!ctx) {
        *failure = Failure::kHandshake;
        *detail = LastError();
        return nullptr;
    }
    if (!LoadFiles(ctx, settings.cert, settings.key, {}, settings.ca, failure, detail)) {
        SSL_CTX_free(ctx);
        return nullptr;
    }
    // A client certificate is required, and must chain to the CA.
    SSL_CTX_set_client_CA_list(ctx, SSL_load_client_CA_file(settings.ca.c_str()));
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    static const unsigned char kSessionContext[] = "kelvarin-device";
    SSL_CTX_set_session_id_context(ctx, kSessionContext, sizeof kSessionContext - 1);
    return std::shared_ptr<Context>(new Context(ctx, false, {}));
}

SSL_SESSION* Context::TakeSession(const std::string& peer) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_sessions.find(peer);
    if (found == m_sessions.end()) {
        return nullptr;
    }
    SSL_SESSION_up_ref(found->second);
    return found->second;
}

void Context::KeepSession(const std::string& peer, SSL_SESSION* session) {
    std::lock_guard<std::mutex> hold(m_lock);
    SSL_SESSION*& kept = m_sessions[peer];
    if (kept) {
        SSL_SESSION_free(kept);
    }
    kept = session;
}

Stream::Stream(std::shared_ptr<Context> context, net::Socket socket, const std::string& dialled,
               const std::string& peer)
    : m_context(std::move(context)), m_peer(peer) {
    m_ssl = SSL_new(m_context->Get());
    SSL_set_fd(m_ssl, static_cast<int>(socket));
    SSL_set_connect_state(m_ssl);
    SSL_set_app_data(m_ssl, &m_peer);
    SSL_set_ex_data(m_ssl, VerifyDepthIndex(), &m_verifyDepth);
    SSL_set_verify(m_ssl, SSL_get_verify_mode(m_ssl), NoteVerifyDepth);
    const std::string& asked = m_context->Name();
    if (asked != "any") {
        const std::string name = asked.empty() ? dialled : asked;
        X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
        if (ParseDottedQuad(name)) {
            // Only a subjectAltName IP address matches an address.
            X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
        } else {
            // A host name is looked for in subjectAltName alone: a CN that
            // happens to say it is no certificate for it.
            SSL_set_hostflags(m_ssl, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
            SSL_set1_host(m_ssl, name.c_str());
            SSL_set_tlsext_host_name(m_ssl, name.c_str());
        }
    }
    if (SSL_SESSION* session = m_context->TakeSession(m_peer)) {
        SSL_set_session(m_ssl, session);
        SSL_SESSION_free(session);
    }
}

Stream::Stream(std::shared_ptr<Context> context, net::Socket socket)
    : m_context(std::move(context)) {
    m_ssl = SSL_new(m_context->Get());
    SSL_set_fd(m_ssl, static_cast<int>(socket));
    SSL_set_accept_state(m_ssl);
    SSL_set_ex_data(m_ssl, VerifyDepthIndex(), &m_verifyDepth);
    SSL_set_verify(m_ssl, SSL_get_verify_mode(m_ssl), NoteVerifyDepth);
}

Stream::~Stream() {
    // A connection that ends without a fatal alert (dropped, or closed by
    // the peer) leaves its session resumable: OpenSSL would otherwise take
    // it for a bad one, and the next connection would need a full handshake.
    if (m_done && m_failure == Failure::kNone) {
        SSL_set_shutdown(m_ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    }
    SSL_free(m_ssl);
}

void Stream::Fail(int result) {
    const int error = SSL_get_error(m_ssl, result);
    const long verified = SSL_get_verify_result(m_ssl);
    const unsigned long code = ERR_peek_last_error();
    const int reason = ERR_GET_REASON(code);
    m_detail = code != 0 ? LastError() : error == SSL_ERROR_SYSCALL ? "the connection closed"
                                                                    : "failed";
    // A failed certificate check in OpenSSL's words, with where in the chain.
    const auto failVerify = [this, verified] {
        m_failure = FailureOfVerify(verified, m_verifyDepth).value_or(Failure::kHandshake);
        m_detail = X509_verify_cert_error_string(verified);
        if (m_verifyDepth > 0) {
            m_detail += " (a CA certificate, depth " + std::to_string(m_verifyDepth) + ")";
        }
    };
    if (m_context->IsClient() && verified != X509_V_OK) {
        failVerify();
    } else if (reason == SSL_R_UNSUPPORTED_PROTOCOL || reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION ||
               reason == SSL_R_NO_PROTOCOLS_AVAILABLE || reason == SSL_R_WRONG_VERSION_NUMBER ||
               reason == SSL_R_VERSION_TOO_LOW) {
        m_failure = Failure::kNoCommonVersion;
    } else if (reason == SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE) {
        m_failure = Failure::kNoCertificate;
    } else if (m_context->IsClient() && CertificateAlert(reason)) {
        m_failure = Failure::kCertRefused;  // TLS 1.2 says so within the handshake
    } else if (!m_context->IsClient() && verified != X509_V_OK) {
        failVerify();
    } else {
        m_failure = Failure::kHandshake;
    }
    ERR_clear_error();
}

void Stream::FailStream() {
    const int reason = ERR_GET_REASON(ERR_peek_last_error());
    m_detail = LastError();
    m_failure = CertificateAlert(reason) ? Failure::kCertRefused : Failure::kHandshake;
    ERR_clear_error();
}

net::Status Stream::Handshake(bool* wantRead, bool* wantWrite) {
    *wantRead = *wantWrite = false;
    if (m_done) {
        return net::Status::kOk;
    }
    ERR_clear_error();
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_done = true;
        return net::Status::kOk;
    }
    switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
            *wantRead = true;
            return net::Status::kWouldBlock;
        case SSL_ERROR_WANT_WRITE:
            *wantWrite = true;
            return net::Status::kWouldBlock;
        default:
            break;
    }
    Fail(result);
    return net::Status::kFailed;
}

net::IoResult Stream::Read(void* buffer, std::size_t length) {
    ERR_clear_error();
    const int result = SSL_read(m_ssl, buffer, static_cast<int>(std::min<std::size_t>(length, 1 << 30)));
    if (result > 0) {
        return {net::Status::kOk, static_cast<std::size_t>(result)};
    }
    switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            return {net::Status::kWouldBlock, 0};
        case SSL_ERROR_ZERO_RETURN:
            return {net::Status::kClosed, 0};
        case SSL_ERROR_SYSCALL:
            // An end of the stream without the close notice is a close too.
            if (ERR_peek_error() == 0) {
                return {net::Status::kClosed, 0};
            }
            break;
        default:
            break;
    }
    FailStream();
    return {net::Status::kFailed, 0};
}

net::IoResult Stream::Write(const void* data, std::size_t length) {
    if (length == 0) {
        return {net::Status::kOk, 0};
    }
    ERR_clear_error();
    const int result = SSL_write(m_ssl, data, static_cast<int>(std::min<std::size_t>(length, 1 << 30)));
    if (result > 0) {
        return {net::Status::kOk, static_cast<std::size_t>(result)};
    }
    switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            return {net::Status::kWouldBlock, 0};
        default:
            break;
    }
    FailStream();
    return {net::Status::kFailed, 0};
}

bool Stream::Buffered() const {
    return m_done && SSL_has_pending(m_ssl) == 1;
}

void Stream::Shutdown() {
    if (m_done) {
        ERR_clear_error();
        SSL_shutdown(m_ssl);
        ERR_clear_error();
    }
}

std::string Stream::Version() const {
    return SSL_get_version(m_ssl);
}

std::string Stream::PeerSubject() const {
    X509* peer = SSL_get0_peer_certificate(m_ssl);
    if (!peer) {
        return {};
    }
    BIO* out = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(out, X509_get_subject_name(peer), 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* text = nullptr;
    const long size = BIO_get_mem_data(out, &text);
    std::string subject(text, static_cast<std::size_t>(size));
    BIO_free(out);
    return subject;
}

std::optional<std::string> Stream::PeerRole() const {
    X509* peer = SSL_get0_peer_certificate(m_ssl);
    if (!peer) {
        return std::string();
    }
    ASN1_OBJECT* oid = OBJ_txt2obj(kRoleOid, 1);
    if (!oid) {
        return std::nullopt;
    }
    const int at = X509_get_ext_by_OBJ(peer, oid, -1);
    const int again = at < 0 ? -1 : X509_get_ext_by_OBJ(peer, oid, at);
    ASN1_OBJECT_free(oid);
    if (at < 0) {
        return std::string();
    }
    if (again >= 0) {
        return std::nullopt;  // two roles: which one holds is anyone's guess
    }
    // The extension's value is one DER UTF8String, and nothing after it.
    const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(X509_get_ext(peer, at));
    const unsigned char* der = ASN1_STRING_get0_data(value);
    const unsigned char* const end = der + ASN1_STRING_length(value);
    ASN1_UTF8STRING* role = d2i_ASN1_UTF8STRING(nullptr, &der, ASN1_STRING_length(value));
    if (!role || der != end) {
        ASN1_UTF8STRING_free(role);
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(ASN1_STRING_get0_data(role)),
                     static_cast<std::size_t>(ASN1_STRING_length(role)));
    ASN1_UTF8STRING_free(role);
    return text;
}

std::string Stream::PeerFingerprint() const {
    X509* peer = SSL_get0_peer_certificate(m_ssl);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!peer || X509_digest(peer, EVP_sha256(), digest, &size) != 1) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kDigits[digest[i] >> 4];
        text += kDigits[digest[i] & 0x0f];
    }
    return text;
}

bool Stream::Resumed() const {
    return SSL_session_reused(m_ssl) == 1;
}

std::string Stream::Facts() const {
    return Version() + (Resumed() ? ", session resumed" : ", full handshake");
}

}  // namespace kelvarin::tls
