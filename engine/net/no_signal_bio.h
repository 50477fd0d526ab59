#pragma once
// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE when the peer
// has gone and kills a host that keeps the default signal handling.  This BIO moves
// bytes with send(MSG_NOSIGNAL)/recv instead, so a TLS write to a closed peer just
// fails.  Safe from any thread; each BIO belongs to one TLS session.

struct bio_st;

namespace velk::net {

// A new BIO over fd (which the caller keeps owning; freeing the BIO does not close
// it).  nullptr when out of memory.  Would-block and interrupted calls are reported
// as retryable, so the BIO also serves non-blocking handshakes.
bio_st* newNoSignalSocketBio(int fd);

}  // namespace velk::net
