// A scripted HTTP peer for tests. It listens on 127.0.0.1 on a port of the system's choice,
// records the exact bytes of every request it receives and answers each one from a script:
// bytes to send, pauses, a stall, an orderly close or a reset. With a certificate it speaks
// TLS. Every connection is served on a thread of its own; the destructor stops them all.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace test_support {

// One step of a reply.
struct ReplyStep {
    enum class Kind { Send, Pause, Stall, Reset, Close };
    Kind kind = Kind::Send;
    std::string bytes;                     // what Send writes
    std::chrono::milliseconds duration{};  // how long Pause waits
};

// What the peer does for one request, step by step. When the steps neither close nor reset
// the connection, the peer goes on to read the next request on it.
class Reply {
public:
    Reply& Send(std::string bytes);
    Reply& Pause(std::chrono::milliseconds duration);
    // Sends nothing more until the client leaves or the peer stops.
    Reply& Stall();
    // Aborts the connection with a TCP reset.
    Reply& Reset();
    Reply& Close();

    const std::vector<ReplyStep>& Steps() const { return steps_; }

    // A whole response: status line, the given header lines, Content-Length and
    // "Connection: close", the body; then the connection is closed.
    static Reply Full(int status, std::string body, std::vector<std::string> headerLines = {});
    // The same with the body sent in the given chunks, "Transfer-Encoding: chunked".
    static Reply Chunked(int status, const std::vector<std::string>& chunks,
                         std::vector<std::string> headerLines = {});
    // A redirect to `location` with a short body.
    static Reply Redirect(int status, const std::string& location);

    // "HTTP/1.1 <status> <reason>\r\n" followed by the header lines, each ended by "\r\n".
    static std::string Head(int status, const std::vector<std::string>& headerLines);

private:
    std::vector<ReplyStep> steps_;
};

// One request as received.
struct Request {
    std::string bytes;           // exactly as received, head and body
    std::string head;            // the request line and header lines, up to the empty line
    std::string body;            // the body bytes as they came (chunk framing included)
    std::string method;          // from the request line
    std::string target;          // from the request line
    std::size_t connection = 0;  // 0-based number of the connection it came on

    // The trimmed value of the first header line with this name (case ignored), or nullopt.
    std::optional<std::string> Header(std::string_view name) const;
};

// The files of a certificate and its private key, in PEM.
struct TlsIdentity {
    std::string certificateFile;
    std::string keyFile;
};

// A self-signed certificate for 127.0.0.1, made with the openssl command in a temporary
// folder that the destructor removes.
class SelfSignedCertificate {
public:
    SelfSignedCertificate();
    ~SelfSignedCertificate();
    SelfSignedCertificate(const SelfSignedCertificate&) = delete;
    SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;

    bool Valid() const { return valid_; }
    const TlsIdentity& Identity() const { return identity_; }

private:
    std::string folder_;
    TlsIdentity identity_;
    bool valid_ = false;
};

class TlsServer;

class LocalPeer {
public:
    // Called for every complete request with its 0-based number across all connections.
    using Script = std::function<Reply(const Request& request, std::size_t index)>;

    explicit LocalPeer(Script script, std::optional<TlsIdentity> tls = std::nullopt);
    // Answers the i-th request with replies[i] and every later one with the last reply.
    explicit LocalPeer(std::vector<Reply> replies, std::optional<TlsIdentity> tls = std::nullopt);
    ~LocalPeer();
    LocalPeer(const LocalPeer&) = delete;
    LocalPeer& operator=(const LocalPeer&) = delete;

    // False when the peer could not listen (or, with TLS, not load its identity).
    bool Listening() const { return listener_ >= 0; }
    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" or "https://..." followed by `path`.
    std::string Url(std::string_view path = "/") const;
    // "127.0.0.1:<port>", as a proxy address.
    std::string Address() const;

    std::vector<Request> Requests() const;
    std::size_t RequestCount() const;
    std::size_t ConnectionCount() const { return connections_.load(); }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void AcceptLoop();
    void Serve(int socket, std::size_t connection);

    Script script_;
    std::unique_ptr<TlsServer> tls_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> connections_{0};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::vector<Worker> workers_;
    std::thread acceptor_;
};

}  // namespace test_support
