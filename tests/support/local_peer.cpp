#include "tests/support/local_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/channel.h"

namespace test_support {
namespace {

// How often blocked loops look whether the peer is stopping.
constexpr int kPollMs = 20;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

const char* Reason(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

class PlainSocketChannel : public Channel {
public:
    explicit PlainSocketChannel(int socket) : socket_(socket) {}
    long Read(char* buffer, std::size_t size) override {
        const ssize_t n = ::recv(socket_, buffer, size, 0);
        return n < 0 ? -1 : static_cast<long>(n);
    }
    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    int socket_;
};

// Reads one connection's requests, waiting in short polls so that a stopping peer is seen.
class RequestReader {
public:
    RequestReader(Channel& channel, int socket, const std::atomic<bool>& stopping)
        : channel_(channel), socket_(socket), stopping_(stopping) {}

    // The next whole request, or nullopt when the client left or the peer stops first.
    std::optional<Request> Next() {
        std::size_t headEnd;
        while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!Fill()) return std::nullopt;
        }
        Request request;
        request.head = buffer_.substr(0, headEnd + 4);
        const std::size_t lineEnd = request.head.find("\r\n");
        const std::string_view line = std::string_view(request.head).substr(0, lineEnd);
        const std::size_t space = line.find(' ');
        request.method = std::string(line.substr(0, space));
        if (space != std::string_view::npos) {
            const std::string_view rest = line.substr(space + 1);
            request.target = std::string(rest.substr(0, rest.rfind(' ')));
        }

        std::size_t end = headEnd + 4;
        const auto encoding = request.Header("Transfer-Encoding");
        if (encoding && EqualNoCase(*encoding, "chunked")) {
            // Chunk sizes, then the last chunk and the empty line that ends the trailers.
            for (;;) {
                std::size_t sizeEnd;
                while ((sizeEnd = buffer_.find("\r\n", end)) == std::string::npos) {
                    if (!Fill()) return std::nullopt;
                }
                const std::size_t size = std::strtoul(buffer_.c_str() + end, nullptr, 16);
                end = sizeEnd + 2;
                if (size == 0) {
                    std::size_t trailerEnd;
                    while ((trailerEnd = buffer_.find("\r\n", end)) == std::string::npos) {
                        if (!Fill()) return std::nullopt;
                    }
                    if (trailerEnd == end) {
                        end += 2;
                        break;
                    }
                    end = trailerEnd + 2;
                    continue;
                }
                while (buffer_.size() < end + size + 2) {
                    if (!Fill()) return std::nullopt;
                }
                end += size + 2;
            }
        } else if (const auto length = request.Header("Content-Length")) {
            end += std::strtoul(length->c_str(), nullptr, 10);
            while (buffer_.size() < end) {
                if (!Fill()) return std::nullopt;
            }
        }
        request.bytes = buffer_.substr(0, end);
        request.body = request.bytes.substr(headEnd + 4);
        buffer_.erase(0, end);
        return request;
    }

    // Waits, reading and dropping whatever comes, until the client leaves or the peer stops.
    void DrainUntilGone() {
        while (Fill()) buffer_.clear();
    }

private:
    bool Fill() {
        while (!channel_.HasBuffered()) {
            if (stopping_) return false;
            pollfd waiting{socket_, POLLIN, 0};
            const int ready = ::poll(&waiting, 1, kPollMs);
            if (ready < 0) return false;
            if (ready > 0) break;
        }
        char chunk[65536];
        const long n = channel_.Read(chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    Channel& channel_;
    int socket_;
    const std::atomic<bool>& stopping_;
    std::string buffer_;
};

}  // namespace

std::unique_ptr<Channel> PlainChannel(int socket) {
    return std::make_unique<PlainSocketChannel>(socket);
}

Reply& Reply::Send(std::string bytes) {
    steps_.push_back({ReplyStep::Kind::Send, std::move(bytes), {}});
    return *this;
}
Reply& Reply::Pause(std::chrono::milliseconds duration) {
    steps_.push_back({ReplyStep::Kind::Pause, {}, duration});
    return *this;
}
Reply& Reply::Stall() {
    steps_.push_back({ReplyStep::Kind::Stall, {}, {}});
    return *this;
}
Reply& Reply::Reset() {
    steps_.push_back({ReplyStep::Kind::Reset, {}, {}});
    return *this;
}
Reply& Reply::Close() {
    steps_.push_back({ReplyStep::Kind::Close, {}, {}});
    return *this;
}

std::string Reply::Head(int status, const std::vector<std::string>& headerLines) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    for (const std::string& line : headerLines) head += line + "\r\n";
    return head;
}

Reply Reply::Full(int status, std::string body, std::vector<std::string> headerLines) {
    headerLines.push_back("Content-Length: " + std::to_string(body.size()));
    headerLines.push_back("Connection: close");
    Reply reply;
    reply.Send(Head(status, headerLines) + "\r\n" + body).Close();
    return reply;
}

Reply Reply::Chunked(int status, const std::vector<std::string>& chunks,
                     std::vector<std::string> headerLines) {
    headerLines.push_back("Transfer-Encoding: chunked");
    headerLines.push_back("Connection: close");
    Reply reply;
    reply.Send(Head(status, headerLines) + "\r\n");
    char size[32];
    for (const std::string& chunk : chunks) {
        if (chunk.empty()) continue;  // an empty chunk would end the body
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        reply.Send(size + chunk + "\r\n");
    }
    reply.Send("0\r\n\r\n").Close();
    return reply;
}

Reply Reply::Redirect(int status, const std::string& location) {
    return Full(status, "moved", {"Location: " + location});
}

std::optional<std::string> Request::Header(std::string_view name) const {
    std::string_view rest(head);
    const std::size_t firstEnd = rest.find("\r\n");
    rest = firstEnd == std::string_view::npos ? std::string_view() : rest.substr(firstEnd + 2);
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualNoCase(line.substr(0, colon), name)) {
            return std::string(Trim(line.substr(colon + 1)));
        }
    }
    return std::nullopt;
}

SelfSignedCertificate::SelfSignedCertificate() {
    char folder[] = "/tmp/peer-tls-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return;
    folder_ = folder;
    identity_.certificateFile = folder_ + "/certificate.pem";
    identity_.keyFile = folder_ + "/key.pem";
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
        " -keyout " +
        identity_.keyFile + " -out " + identity_.certificateFile + " >/dev/null 2>&1";
    valid_ = std::system(command.c_str()) == 0;
}

SelfSignedCertificate::~SelfSignedCertificate() {
    if (folder_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

LocalPeer::LocalPeer(std::vector<Reply> replies, std::optional<TlsIdentity> tls)
    : LocalPeer(
          [replies = std::move(replies)](const Request&, std::size_t index) {
              if (replies.empty()) return Reply().Close();
              return replies[std::min(index, replies.size() - 1)];
          },
          std::move(tls)) {}

LocalPeer::LocalPeer(Script script, std::optional<TlsIdentity> tls) : script_(std::move(script)) {
    if (tls) {
        tls_ = TlsServer::Load(*tls);
        if (!tls_) return;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 256) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return;
    }
    listener_ = listener;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LocalPeer::~LocalPeer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (Worker& worker : workers) worker.thread.join();
    if (listener_ >= 0) ::close(listener_);
}

std::string LocalPeer::Url(std::string_view path) const {
    return std::string(tls_ ? "https://" : "http://") + Address() + std::string(path);
}

std::string LocalPeer::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<Request> LocalPeer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t LocalPeer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

void LocalPeer::AcceptLoop() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, kPollMs) <= 0) continue;
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        const std::size_t connection = connections_++;
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([this, socket, connection, done] {
            Serve(socket, connection);
            *done = true;
        });
        std::lock_guard<std::mutex> lock(mutex_);
        // Join the threads of finished connections so that a long run does not pile them up.
        for (auto it = workers_.begin(); it != workers_.end();) {
            if (*it->done) {
                it->thread.join();
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
        workers_.push_back({std::move(thread), std::move(done)});
    }
}

void LocalPeer::Serve(int socket, std::size_t connection) {
    // TLS writes to a client that has gone raise SIGPIPE on this thread; blocked, it is
    // dropped with the thread instead of ending the process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    std::unique_ptr<Channel> channel;
    if (tls_) {
        // A client that never finishes its handshake must not hold the peer forever.
        timeval limit{5, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        channel = tls_->Accept(socket);
    } else {
        channel = PlainChannel(socket);
    }
    bool reset = false;
    if (channel) {
        RequestReader reader(*channel, socket, stopping_);
        bool open = true;
        while (open) {
            std::optional<Request> request = reader.Next();
            if (!request) break;
            request->connection = connection;
            std::size_t index;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                index = requests_.size();
                requests_.push_back(*request);
            }
            const Reply reply = script_(*request, index);
            for (const ReplyStep& step : reply.Steps()) {
                if (!open) break;
                switch (step.kind) {
                    case ReplyStep::Kind::Send:
                        open = channel->Write(step.bytes);
                        break;
                    case ReplyStep::Kind::Pause: {
                        const auto until = std::chrono::steady_clock::now() + step.duration;
                        while (!stopping_ && std::chrono::steady_clock::now() < until) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(5));
                        }
                        break;
                    }
                    case ReplyStep::Kind::Stall:
                        reader.DrainUntilGone();
                        open = false;
                        break;
                    case ReplyStep::Kind::Reset:
                        reset = true;
                        open = false;
                        break;
                    case ReplyStep::Kind::Close:
                        channel->Finish();
                        open = false;
                        break;
                }
            }
        }
    }
    if (reset) {
        // Closing with a zero linger time sends a reset instead of an orderly end.
        linger abort{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
        ::shutdown(socket, SHUT_WR);
    }
    channel.reset();
    ::close(socket);
}

}  // namespace test_support
