#include "net/transport_bio.h"

#include <openssl/bio.h>

#include <memory>

#include "net/transport.h"

namespace velk::net {
namespace {

struct SocketState {
    Transport* lower = nullptr;
    bool atEof = false;  // OpenSSL asks (BIO_eof) to tell a clean end from an error
};

SocketState* stateOf(BIO* bio) {
    return static_cast<SocketState*>(BIO_get_data(bio));
}

// What the layer below waits for, which need not match the call (a TLS layer
// below may have to read in order to write).
void markRetry(BIO* bio, const Transport& lower) {
    if (lower.wants() == Readiness::kWrite) {
        BIO_set_retry_write(bio);
    } else {
        BIO_set_retry_read(bio);
    }
}

int bioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    if (length <= 0) return 0;
    int n = stateOf(bio)->lower->write(data, length);
    if (n != kWouldBlock) return n;
    markRetry(bio, *stateOf(bio)->lower);
    return -1;
}

int bioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    if (size <= 0) return 0;
    SocketState* s = stateOf(bio);
    int n = s->lower->read(buffer, size);
    if (n == 0) s->atEof = true;
    if (n != kWouldBlock) return n;
    markRetry(bio, *s->lower);
    return -1;
}

int bioPuts(BIO* bio, const char* text) {
    int length = 0;
    while (text[length] != '\0') ++length;
    return bioWrite(bio, text, length);
}

long bioCtrl(BIO* bio, int cmd, long num, void* ptr) {
    SocketState* s = stateOf(bio);
    switch (cmd) {
        case BIO_C_GET_FD: {
            const int fd = s->lower->fd();
            if (ptr != nullptr) *static_cast<int*>(ptr) = fd;
            return fd;
        }
        case BIO_CTRL_EOF:
            return s->atEof ? 1 : 0;
        case BIO_CTRL_GET_CLOSE:
            return BIO_get_shutdown(bio);
        case BIO_CTRL_SET_CLOSE:
            BIO_set_shutdown(bio, int(num));
            return 1;
        case BIO_CTRL_FLUSH:
        case BIO_CTRL_DUP:
            return 1;
        default:
            return 0;
    }
}

int bioCreate(BIO* bio) {
    BIO_set_data(bio, nullptr);
    BIO_set_init(bio, 0);
    return 1;
}

int bioDestroy(BIO* bio) {
    if (bio == nullptr) return 0;
    std::unique_ptr<SocketState> owned(stateOf(bio));
    BIO_set_data(bio, nullptr);
    BIO_set_init(bio, 0);
    return 1;
}

// Built once; a BIO_METHOD is read-only after set-up and shared by all sessions.
const BIO_METHOD* noSignalMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "velk transport");
        if (m == nullptr) return m;
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_puts(m, bioPuts);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        BIO_meth_set_destroy(m, bioDestroy);
        return m;
    }();
    return method;
}

}  // namespace

bio_st* newTransportBio(Transport& lower) {
    const BIO_METHOD* method = noSignalMethod();
    if (method == nullptr) return nullptr;
    BIO* bio = BIO_new(method);
    if (bio == nullptr) return nullptr;
    auto state = std::make_unique<SocketState>();
    state->lower = &lower;
    BIO_set_data(bio, state.release());
    BIO_set_init(bio, 1);
    return bio;
}

}  // namespace velk::net
