// The byte stream of one accepted connection, plain or TLS. The socket stays the caller's.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "tests/support/local_peer.h"

namespace test_support {

class Channel {
public:
    virtual ~Channel() = default;
    // Up to `size` bytes into `buffer`: the count read, 0 when the client closed, -1 on error.
    virtual long Read(char* buffer, std::size_t size) = 0;
    // Writes all of `bytes`; false when the client is gone.
    virtual bool Write(std::string_view bytes) = 0;
    // Bytes already taken off the socket that Read will return without waiting.
    virtual bool HasBuffered() const { return false; }
    // Ends the stream in order before the socket is closed.
    virtual void Finish() {}
};

std::unique_ptr<Channel> PlainChannel(int socket);

// A server's TLS identity, loaded once and used for every connection.
class TlsServer {
public:
    // Nullptr when the files cannot be loaded.
    static std::unique_ptr<TlsServer> Load(const TlsIdentity& identity);
    virtual ~TlsServer() = default;
    // Completes the server side of the handshake; nullptr when it fails.
    virtual std::unique_ptr<Channel> Accept(int socket) = 0;
};

}  // namespace test_support
