// Why a connection failed, in the words the publisher's lines use, also where the library cannot tell.
#pragma once

#include <QString>
#include <optional>

struct mosquitto;

namespace publish {

// The library's sentence as the middle of ours: "connection refused", not "Connection refused.".
QString reasonText(const char *sentence);
// A library error code as such a reason.
QString errorText(int rc);
// Once an attempt has started: has a refusal of the broker's certificate written to `verdict`, which
// must outlive the attempt.
void watchCertificate(mosquitto *mosq, long *verdict);
// A TLS failure, by the last verdict on the broker's certificate.
QString tlsFailure(long verdict);
// Nothing while the socket may still work; otherwise why it does not. The library takes a TLS connection
// that the broker refused or closed for a handshake still under way, and would wait on it until its
// keep-alive ran out.
std::optional<QString> socketFailure(int socket);

} // namespace publish
