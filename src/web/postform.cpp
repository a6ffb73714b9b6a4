#include "postform.h"

#include <QStringDecoder>
#include <chrono>
#include <memory>
#include <mutex>

#include <curl/curl.h>

namespace
{

using Clock = std::chrono::steady_clock;

// How often a waiting transfer looks at its time-outs and at the cancel flag.
constexpr int PollIntervalMs = 50;

QString& trustedCertificates()
{
    static QString path;
    return path;
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    QByteArray body;
    const std::atomic<bool>* cancel = nullptr;
    int responseMs = 0;
    CURL* easy = nullptr;
    bool requestSent = false;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastUploaded = 0;
    QString abortReason;
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    transfer->body.append(data, static_cast<qsizetype>(bytes));
    transfer->lastActivity = Clock::now();
    return bytes;
}

size_t onHeader(char*, size_t size, size_t count, void* user)
{
    static_cast<Transfer*>(user)->lastActivity = Clock::now();
    return size * count;
}

// The receive time-out: once the connection stands, a transfer in which no byte moves for
// responseMs is ended. A low-speed limit would average and let a silent server hold us longer.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded)
{
    auto* transfer = static_cast<Transfer*>(user);
    const Clock::time_point now = Clock::now();
    if (transfer->cancel && transfer->cancel->load()) {
        transfer->abortReason = QStringLiteral("The request was cancelled");
        return 1;
    }
    if (!transfer->requestSent) {
        curl_off_t pretransfer = 0;
        curl_easy_getinfo(transfer->easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        if (pretransfer > 0) {
            transfer->requestSent = true;
            transfer->lastActivity = now;
        }
        return 0;
    }
    if (uploaded != transfer->lastUploaded) {
        transfer->lastUploaded = uploaded;
        transfer->lastActivity = now;
    }
    const auto idle =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - transfer->lastActivity);
    if (idle.count() >= transfer->responseMs) {
        transfer->abortReason =
            QStringLiteral("No answer received within %1 milliseconds").arg(transfer->responseMs);
        return 1;
    }
    return 0;
}

bool passesUnchanged(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '*' || byte == '-' || byte == '.' || byte == '_';
}

void encodeInto(QByteArray& out, const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(ch);
        if (passesUnchanged(byte)) {
            out.append(ch);
        } else if (byte == ' ') {
            out.append('+');
        } else {
            out.append('%');
            out.append(hex[byte >> 4]);
            out.append(hex[byte & 0xF]);
        }
    }
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

QByteArray EncodeFormFields(const QStringList& fields)
{
    QByteArray out;
    for (const QString& line : fields) {
        if (!out.isEmpty())
            out.append('&');
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        encodeInto(out, equals < 0 ? line : line.left(equals));
        out.append('=');
        if (equals >= 0)
            encodeInto(out, line.mid(equals + 1));
    }
    return out;
}

QString DecodeAnswer(const QByteArray& body, const QByteArray& contentType)
{
    QByteArray charset;
    for (const QByteArray& parameter : contentType.split(';')) {
        const QByteArray trimmed = parameter.trimmed();
        if (trimmed.toLower().startsWith("charset=")) {
            charset = trimmed.mid(8).trimmed();
            if (charset.size() >= 2 && charset.startsWith('"') && charset.endsWith('"'))
                charset = charset.mid(1, charset.size() - 2);
        }
    }
    if (!charset.isEmpty() && charset.toLower() != "utf-8") {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

void SetTrustedCertificatesForTesting(const QString& pemFile)
{
    trustedCertificates() = pemFile;
}

QString PostForm(const QString& url, const QStringList& fields, PostTimeouts timeouts,
                 const std::atomic<bool>* cancel)
{
    initCurlOnce();
    const bool secure = url.toLower().startsWith(QStringLiteral("https://"));
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi)
        throw PostError(QStringLiteral("Out of memory"));

    std::unique_ptr<curl_slist, ListDeleter> headers;
    auto addHeader = [&headers](const char* header) {
        curl_slist* list = curl_slist_append(headers.get(), header);
        if (!list)
            throw PostError(QStringLiteral("Out of memory"));
        (void)headers.release();
        headers.reset(list);
    };
    if (secure) {
        addHeader("Connection: close");
        addHeader("Content-Type: application/x-www-form-urlencoded; charset=utf-8");
    } else {
        addHeader("Content-Type: application/x-www-form-urlencoded");
    }

    const QByteArray body = EncodeFormFields(fields);
    const QByteArray address = url.toUtf8();
    const QByteArray caFile = trustedCertificates().toLocal8Bit();
    Transfer transfer;
    transfer.cancel = cancel;
    transfer.responseMs = timeouts.responseMs;
    transfer.easy = easy.get();
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, address.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // A cancelled name lookup must not hold the caller until the resolver gives up.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty())
        curl_easy_setopt(e, CURLOPT_CAINFO, caFile.constData());

    curl_multi_add_handle(multi.get(), e);
    CURLcode result = CURLE_OK;
    for (bool done = false; !done;) {
        int running = 0;
        const CURLMcode state = curl_multi_perform(multi.get(), &running);
        if (state != CURLM_OK) {
            curl_multi_remove_handle(multi.get(), e);
            throw PostError(QString::fromUtf8(curl_multi_strerror(state)));
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (!done)
            curl_multi_poll(multi.get(), nullptr, 0, PollIntervalMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), e);

    if (result != CURLE_OK) {
        if (!transfer.abortReason.isEmpty())
            throw PostError(transfer.abortReason);
        const QString detail = QString::fromUtf8(errorText).trimmed();
        throw PostError(detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(result)) : detail);
    }
    const char* contentType = nullptr;
    curl_easy_getinfo(e, CURLINFO_CONTENT_TYPE, &contentType);
    return DecodeAnswer(transfer.body, contentType ? QByteArray(contentType) : QByteArray());
}
