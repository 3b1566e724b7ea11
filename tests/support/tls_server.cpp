// The test peer's TLS, over OpenSSL: the only file of the test support that includes it.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include "tests/support/channel.h"

namespace test_support {
namespace {

struct ContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

class TlsChannel : public Channel {
public:
    explicit TlsChannel(std::unique_ptr<SSL, SslDeleter> ssl) : ssl_(std::move(ssl)) {}

    long Read(char* buffer, std::size_t size) override {
        const int n = SSL_read(ssl_.get(), buffer, static_cast<int>(size));
        if (n > 0) return n;
        return SSL_get_error(ssl_.get(), n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const int n = SSL_write(ssl_.get(), bytes.data(), static_cast<int>(bytes.size()));
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    bool HasBuffered() const override { return SSL_pending(ssl_.get()) > 0; }

    void Finish() override { SSL_shutdown(ssl_.get()); }

private:
    std::unique_ptr<SSL, SslDeleter> ssl_;
};

class OpenSslServer : public TlsServer {
public:
    explicit OpenSslServer(std::unique_ptr<SSL_CTX, ContextDeleter> context)
        : context_(std::move(context)) {}

    std::unique_ptr<Channel> Accept(int socket) override {
        std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(context_.get()));
        if (!ssl || SSL_set_fd(ssl.get(), socket) != 1) return nullptr;
        if (SSL_accept(ssl.get()) != 1) {
            ERR_clear_error();
            return nullptr;
        }
        return std::make_unique<TlsChannel>(std::move(ssl));
    }

private:
    std::unique_ptr<SSL_CTX, ContextDeleter> context_;
};

}  // namespace

std::unique_ptr<TlsServer> TlsServer::Load(const TlsIdentity& identity) {
    std::unique_ptr<SSL_CTX, ContextDeleter> context(SSL_CTX_new(TLS_server_method()));
    if (!context ||
        SSL_CTX_use_certificate_chain_file(context.get(), identity.certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), identity.keyFile.c_str(), SSL_FILETYPE_PEM) !=
            1) {
        ERR_clear_error();
        return nullptr;
    }
    return std::make_unique<OpenSslServer>(std::move(context));
}

}  // namespace test_support
