#include "support/testwebservice.h"

#include "support/testenv.h"

#include <QFile>
#include <QProcess>
#include <QUrl>
#include <condition_variable>
#include <stdexcept>
#include <thread>

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

namespace testweb
{

namespace
{

QByteArray gzipped(const QByteArray& data)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    QByteArray out(
        static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    out.resize(static_cast<qsizetype>(stream.total_out));
    return out;
}

QString formDecode(const QByteArray& part)
{
    QByteArray bytes = part;
    bytes.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

struct Certificate {
    QString certFile;
    QString keyFile;
};

const Certificate& certificate()
{
    static const Certificate made = [] {
        const QString folder = testenv::NewFolder(QStringLiteral("certificate"));
        Certificate result{folder + QStringLiteral("/cert.pem"),
                           folder + QStringLiteral("/key.pem")};
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                       result.keyFile, QStringLiteral("-out"), result.certFile});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            throw std::runtime_error("openssl could not make the test certificate");
        return result;
    }();
    return made;
}

} // namespace

std::string Received::Header(const std::string& lowerName) const
{
    const auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}

bool Received::HasField(const QString& name) const
{
    for (const QString& field : fields)
        if (field.section(QLatin1Char('='), 0, 0) == name)
            return true;
    return false;
}

QString Received::Field(const QString& name) const
{
    for (const QString& field : fields)
        if (field.section(QLatin1Char('='), 0, 0) == name)
            return field.section(QLatin1Char('='), 1);
    return {};
}

QByteArray CheckAnswer(const QString& version, const QString& url, const QString& result,
                       const QString& important)
{
    const QString text =
        QStringLiteral("<version>%1</version>\r\n<url>%2</url>\r\n<date>2026-01-01</date>\r\n"
                       "<result>%3</result>\r\n<size>1024</size>\r\n"
                       "<important>%4</important>\r\n<notes></notes>\r\n<end></end>\r\n")
            .arg(version, url, result, important);
    return text.toUtf8();
}

struct TestWebService::Impl {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    Scheme scheme = Scheme::Http;
    mutable std::mutex mutex;
    std::condition_variable released;
    bool stopping = false;
    std::map<std::string, Answer> answers;
    std::vector<Received> requests;

    void handle(const httplib::Request& request, httplib::Response& response)
    {
        Received received;
        received.method = request.method;
        received.path = request.path;
        received.body = QByteArray::fromStdString(request.body);
        for (const auto& [name, value] : request.headers) {
            std::string lower = name;
            for (char& ch : lower)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            received.headers.emplace(lower, value);
        }
        if (!received.body.isEmpty())
            for (const QByteArray& pair : received.body.split('&')) {
                const qsizetype equals = pair.indexOf('=');
                received.fields << formDecode(pair.left(equals)) + QLatin1Char('=') +
                                       formDecode(pair.mid(equals + 1));
            }

        std::unique_lock lock(mutex);
        requests.push_back(received);
        const auto found = answers.find(request.path);
        if (found == answers.end()) {
            response.status = 404;
            return;
        }
        const Answer answer = found->second;
        if (answer.silent) {
            released.wait(lock, [this] { return stopping; });
            return;
        }
        lock.unlock();
        response.status = answer.status;
        if (answer.gzip) {
            response.set_header("Content-Encoding", "gzip");
            response.set_content(gzipped(answer.body).toStdString(), answer.contentType.c_str());
        } else {
            response.set_content(answer.body.toStdString(), answer.contentType.c_str());
        }
    }
};

TestWebService::TestWebService(Scheme scheme) : impl_(std::make_unique<Impl>())
{
    impl_->scheme = scheme;
    if (scheme == Scheme::Https) {
        const Certificate& made = certificate();
        impl_->server = std::make_unique<httplib::SSLServer>(
            made.certFile.toLocal8Bit().constData(), made.keyFile.toLocal8Bit().constData());
    } else {
        impl_->server = std::make_unique<httplib::Server>();
    }
    impl_->answers["/php/check2.php"] = Answer{CheckAnswer(QStringLiteral("1.0"), QString())};
    impl_->answers["/php/feedback.php"] = Answer{"OK"};
    auto handler = [impl = impl_.get()](const httplib::Request& request,
                                        httplib::Response& response) {
        impl->handle(request, response);
    };
    impl_->server->Post(".*", handler);
    impl_->server->Get(".*", handler);
    impl_->port = impl_->server->bind_to_any_port("127.0.0.1");
    if (impl_->port <= 0)
        throw std::runtime_error("the test web service cannot listen");
    impl_->thread = std::thread([impl = impl_.get()] { impl->server->listen_after_bind(); });
    // stop() is lost on a server whose accept loop has not started yet, so wait for it.
    for (int waited = 0; !impl_->server->is_running(); waited += 1) {
        if (waited > 10000)
            throw std::runtime_error("the test web service does not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TestWebService::~TestWebService()
{
    {
        const std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->released.notify_all();
    impl_->server->stop();
    impl_->thread.join();
}

QString TestWebService::Host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(impl_->port);
}

QString TestWebService::Url(const QString& path) const
{
    return (impl_->scheme == Scheme::Https ? QStringLiteral("https://")
                                           : QStringLiteral("http://")) +
           Host() + path;
}

void TestWebService::SetAnswer(const std::string& path, Answer answer)
{
    const std::lock_guard lock(impl_->mutex);
    impl_->answers[path] = std::move(answer);
}

std::vector<Received> TestWebService::Requests() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

QString TestWebService::CertificateFile()
{
    return certificate().certFile;
}

namespace
{

int listeningSocket(int backlog, int* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot open a test socket");
    *port = ntohs(address.sin_port);
    return fd;
}

} // namespace

SilentServer::SilentServer()
{
    socket_ = listeningSocket(16, &port_);
}

SilentServer::~SilentServer()
{
    ::close(socket_);
}

QString SilentServer::Host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString ClosedHost()
{
    int port = 0;
    const int fd = listeningSocket(1, &port);
    ::close(fd);
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace testweb
