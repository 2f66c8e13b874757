// Why a connection failed, in the words the publisher's lines use, also where the library cannot tell.
#include "publish/MqttFailures.h"

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#ifndef _WIN32
#include <poll.h>
#endif

namespace publish {

QString reasonText(const char *sentence)
{
    // "not authorised" for the broker's "Connection Refused: not authorised.".
    QString reason = QString::fromLocal8Bit(sentence).remove(QStringLiteral("Connection Refused: "));
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return reason;
}

QString errorText(int rc)
{
    return rc == MOSQ_ERR_CONN_LOST ? QStringLiteral("closed by the broker")
        : rc == MOSQ_ERR_KEEPALIVE  ? QStringLiteral("no answer from the broker")
                                    : reasonText(mosquitto_strerror(rc));
}

namespace {

thread_local long *threadVerdict = nullptr;

int verdictIndex();

// Told of every alert the handshake sends: one sent after the certificate check failed carries its verdict.
void recordVerdict(const SSL *ssl, int where, int)
{
    const long verdict = SSL_get_verify_result(ssl);
    if ((where & SSL_CB_WRITE_ALERT) != 0 && verdict != X509_V_OK)
        *static_cast<long *>(SSL_get_ex_data(ssl, verdictIndex())) = verdict;
}

// Called as every TLS connection is made, before its handshake, which the library may run to its end
// before it hands the connection out.
void listenFromBirth(void *ssl, void *, CRYPTO_EX_DATA *data, int index, long, void *)
{
    if (threadVerdict) {
        CRYPTO_set_ex_data(data, index, threadVerdict);
        SSL_set_info_callback(static_cast<SSL *>(ssl), &recordVerdict);
    }
}

int verdictIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, &listenFromBirth, nullptr, nullptr);
    return index;
}

} // namespace

void watchCertificates(long *verdict)
{
    verdictIndex();
    threadVerdict = verdict;
}

QString tlsFailure(long verdict)
{
    switch (verdict) {
    case X509_V_OK:
        return QStringLiteral("TLS handshake failed");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("certificate expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("certificate not yet valid");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return QStringLiteral("certificate not trusted");
    // The library checks the host name itself, and fails a certificate for it without naming an error.
    case X509_V_ERR_UNSPECIFIED:
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("certificate for another host");
    default:
        return QStringLiteral("certificate refused: %1")
            .arg(QString::fromLatin1(X509_verify_cert_error_string(verdict)));
    }
}

std::optional<QString> socketFailure(int socket)
{
#ifdef _WIN32
    // No way to tell here: the attempt runs to its answer wait.
    Q_UNUSED(socket);
    return std::nullopt;
#else
#ifdef POLLRDHUP
    constexpr short closedByPeer = POLLRDHUP;
#else
    constexpr short closedByPeer = 0;
#endif
    pollfd state {socket, short(POLLOUT | closedByPeer), 0};
    if (::poll(&state, 1, 0) != 1)
        return std::nullopt;
    // A reset (the port refused us) hangs up both ways; a broker that closed its side only its own.
    if (state.revents & (POLLHUP | POLLERR))
        return QStringLiteral("connection refused");
    if (state.revents & closedByPeer)
        return QStringLiteral("closed by the broker");
    return std::nullopt;
#endif
}

} // namespace publish
