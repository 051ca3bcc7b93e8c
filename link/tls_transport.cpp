// Modbus/TCP Security: the frames inside a TLS stream (tls.h).
#include "transport.h"

namespace kelvarin {

namespace {

class TlsTransport : public Transport {
  public:
    TlsTransport(std::shared_ptr<tls::Context> context, net::Socket socket, const std::string& host,
                 int port)
        // The address (or host name) dialled is what the device's
        // certificate must name, unless the context says otherwise.
        : m_stream(std::move(context), socket, host, host + ":" + std::to_string(port)) {}

    net::Status Handshake(bool* wantRead, bool* wantWrite) override {
        const net::Status step = m_stream.Handshake(wantRead, wantWrite);
        m_handshaken = step == net::Status::kOk;
        if (step == net::Status::kFailed) {
            m_failure = m_stream.Why();
            m_detail = m_stream.Detail();
        }
        return step;
    }
    net::IoResult Read(void* buffer, std::size_t length) override {
        return Noted(m_stream.Read(buffer, length));
    }
    net::IoResult Write(const void* data, std::size_t length) override {
        return Noted(m_stream.Write(data, length));
    }
    bool Buffered() const override { return m_stream.Buffered(); }
    void Shutdown() override { m_stream.Shutdown(); }
    void AddFacts(ConnectionFacts* facts) const override {
        if (m_handshaken) {
            facts->tlsVersion = m_stream.Version();
            facts->tlsSubject = m_stream.PeerSubject();
            facts->tlsFingerprint = m_stream.PeerFingerprint();
            facts->tlsResumed = m_stream.Resumed();
        }
        facts->tlsFailure = m_failure;
        facts->tlsDetail = m_detail;
    }

  private:
    // TLS 1.3 tells of a refused client certificate on the first read after
    // the handshake: kept, to say so instead of only a broken connection.
    net::IoResult Noted(net::IoResult result) {
        if (result.status == net::Status::kFailed && m_stream.Why() == tls::Failure::kCertRefused) {
            m_failure = m_stream.Why();
            m_detail = m_stream.Detail();
        }
        return result;
    }

    tls::Stream m_stream;
    bool m_handshaken = false;
    tls::Failure m_failure = tls::Failure::kNone;
    std::string m_detail;
};

}  // namespace

std::unique_ptr<Transport> MakeTlsTransport(std::shared_ptr<tls::Context> context,
                                            net::Socket socket, const std::string& host, int port) {
    return std::make_unique<TlsTransport>(std::move(context), socket, host, port);
}

}  // namespace kelvarin
