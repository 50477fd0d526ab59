#pragma once
// The BIO through which a TLS layer moves its records: it reads and writes the
// transport below (the plain socket, or whatever else carries the stream), so TLS
// composes over any layer.  Since the plain socket sends with MSG_NOSIGNAL, a TLS
// write to a peer that has gone fails instead of raising SIGPIPE (OpenSSL's own
// socket BIO writes with write(2) and would kill a host that keeps the default
// signal handling).  Safe from any thread; each BIO belongs to one TLS session.

struct bio_st;

namespace velk::net {

class Transport;

// A new BIO over lower, which must outlive it (freeing the BIO leaves lower
// alone).  nullptr when out of memory.  kWouldBlock from lower is reported as
// retryable, so the BIO serves blocking and non-blocking use alike.
bio_st* newTransportBio(Transport& lower);

}  // namespace velk::net
