// A small stand-in for the maker's web service on 127.0.0.1: answers the update-check and
// feedback scripts like the real ones, over http or https with a certificate made for the test
// run, and records every request it received. Also a server that accepts and never answers.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testweb
{

struct Received {
    std::string method;
    std::string path;
    QByteArray body;
    std::multimap<std::string, std::string> headers; // names in lower case
    QStringList fields;                              // decoded "name=value", in body order

    std::string Header(const std::string& lowerName) const;
    bool HasField(const QString& name) const;
    QString Field(const QString& name) const;
};

struct Answer {
    QByteArray body;
    std::string contentType = "text/html; charset=UTF-8";
    bool gzip = false; // sent compressed with Content-Encoding: gzip
    int status = 200;
    bool silent = false; // accept the request and never answer
};

// The update-check script's answer: eight tagged lines.
QByteArray CheckAnswer(const QString& version, const QString& url,
                       const QString& result = QStringLiteral("1"),
                       const QString& important = QString());

class TestWebService
{
public:
    enum class Scheme { Http, Https };
    explicit TestWebService(Scheme scheme = Scheme::Http);
    ~TestWebService();
    TestWebService(const TestWebService&) = delete;
    TestWebService& operator=(const TestWebService&) = delete;

    // "127.0.0.1:port", the form the program's host setting takes.
    QString Host() const;
    QString Url(const QString& path) const;

    // Answers for `path`; until set, "/php/check2.php" announces version 1.0 and
    // "/php/feedback.php" answers "OK".
    void SetAnswer(const std::string& path, Answer answer);
    std::vector<Received> Requests() const;

    // The PEM certificate of every https service of this test process (made on first use).
    static QString CertificateFile();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Listens on 127.0.0.1 and never accepts or answers: connections stand, requests go unanswered.
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    QString Host() const;

private:
    int socket_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens: connections are refused at once.
QString ClosedHost();

} // namespace testweb
