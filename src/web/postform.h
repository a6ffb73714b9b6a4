// The one way the program talks to the maker's web service: post a form of name=value lines to a
// script and read the text it answers. Each call owns its own connection; nothing is kept.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <stdexcept>

class PostError : public std::runtime_error
{
public:
    explicit PostError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// The connection time-out covers reaching the server (and the TLS handshake); the response
// time-out ends the call when no byte has arrived for that long once the request is on its way.
struct PostTimeouts {
    int connectMs;
    int responseMs;
};
inline constexpr PostTimeouts CheckerTimeouts{10000, 10000};
inline constexpr PostTimeouts FeedbackTimeouts{3000, 3000};

// Posts `fields` ("name=value" lines, sent in their order) to `url`. "https://" (in any case)
// takes the secure path with a certificate verified against the system's store; any other
// address the plain path. Returns the answer's body decoded by its charset (UTF-8 when it names
// none or one this program does not know). Raises PostError with the transfer's own description
// of any failure, an HTTP error status among them. Setting `cancel` ends a running call soon
// after with a PostError.
QString PostForm(const QString& url, const QStringList& fields, PostTimeouts timeouts,
                 const std::atomic<bool>* cancel = nullptr);

// The body of the post: each line split at its first '=', name and value percent-encoded byte by
// byte from UTF-8 (letters, digits and "*-._" pass, the space becomes '+'), joined with '&'.
QByteArray EncodeFormFields(const QStringList& fields);

// Decodes `body` with the charset that `contentType` names; UTF-8 otherwise.
QString DecodeAnswer(const QByteArray& body, const QByteArray& contentType);

// Test seam: while set, the secure path trusts the certificates in this PEM file instead of the
// system's store. An empty path goes back to the system's store.
void SetTrustedCertificatesForTesting(const QString& pemFile);
