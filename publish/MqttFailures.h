// Why a connection failed, in the words the publisher's lines use, also where the library cannot tell.
#pragma once

#include <QString>
#include <optional>

namespace publish {

// The library's sentence as the middle of ours: "connection refused", not "Connection refused.".
QString reasonText(const char *sentence);
// A library error code as such a reason.
QString errorText(int rc);
// Has every refusal of a broker's certificate, in the TLS connections this thread makes from now on,
// written to `verdict`, which must live as long as the thread.
void watchCertificates(long *verdict);
// A TLS failure, by the last verdict on the broker's certificate.
QString tlsFailure(long verdict);
// Nothing while the socket may still work; otherwise why it does not. The library takes a TLS connection
// that the broker refused or closed for a handshake still under way, and would wait on it until its
// keep-alive ran out.
std::optional<QString> socketFailure(int socket);

} // namespace publish
