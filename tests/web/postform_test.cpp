#include "web/postform.h"

#include "support/testwebservice.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <thread>

using testweb::Answer;
using testweb::TestWebService;

namespace
{

constexpr PostTimeouts ShortTimeouts{400, 400};

class TrustTestCertificate
{
public:
    TrustTestCertificate() { SetTrustedCertificatesForTesting(TestWebService::CertificateFile()); }
    ~TrustTestCertificate() { SetTrustedCertificatesForTesting(QString()); }
};

} // namespace

TEST(EncodeFormFields, EncodesEachByteAsTheServiceExpects)
{
    struct Case {
        QStringList fields;
        QByteArray body;
    } cases[] = {
        {{QStringLiteral("v=a b&c=d")}, "v=a+b%26c%3Dd"},
        {{QStringLiteral("v=x\r\ny")}, "v=x%0D%0Ay"},
        {{QString::fromUtf8("v=\xC3\xA9")}, "v=%C3%A9"},
        {{QStringLiteral("v=")}, "v="},
        {{QStringLiteral("cmd=check"), QStringLiteral("os=Windows 10")}, "cmd=check&os=Windows+10"},
        {{QStringLiteral("v=+@*-._~/")}, "v=%2B%40*-._%7E%2F"},
        {{QStringLiteral("v=Az09")}, "v=Az09"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodeFormFields(c.fields), c.body)
            << c.fields.join(QLatin1Char('|')).toStdString();
}

TEST(DecodeAnswer, UsesTheNamedCharsetAndUtf8Otherwise)
{
    const QString text = QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                           "e \xD0\x96");
    EXPECT_EQ(DecodeAnswer(text.toUtf8(), "text/html"), text);
    EXPECT_EQ(DecodeAnswer(text.toUtf8(), "text/html; charset=no-such-set"), text);
    EXPECT_EQ(DecodeAnswer("\xC4\xE5", "text/plain; charset=\"windows-1251\""),
              QString::fromUtf8("\xD0\x94\xD0\xB5"));
    EXPECT_EQ(DecodeAnswer("caf\xE9", "text/plain;Charset=ISO-8859-1"),
              QString::fromUtf8("caf\xC3\xA9"));
}

TEST(PostForm, PlainPathSendsTheFormAndReturnsTheAnswer)
{
    TestWebService service;
    service.SetAnswer("/php/feedback.php", Answer{"OK\r\nsecond line"});
    const QString answer =
        PostForm(service.Url(QStringLiteral("/php/feedback.php")),
                 {QStringLiteral("cmd=feedback"), QStringLiteral("text=a b")}, ShortTimeouts);
    EXPECT_EQ(answer, QStringLiteral("OK\r\nsecond line"));
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "cmd=feedback&text=a+b");
    EXPECT_EQ(requests[0].Header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].Header("cookie"), "");
}

TEST(PostForm, SecurePathVerifiesTheCertificateAndSendsItsHeaders)
{
    TestWebService service(TestWebService::Scheme::Https);
    const QString url = service.Url(QStringLiteral("/php/feedback.php"));
    // The test certificate is in no system store: the secure path must refuse it.
    EXPECT_THROW(PostForm(url, {QStringLiteral("cmd=x")}, ShortTimeouts), PostError);

    const TrustTestCertificate trust;
    const QString capitals =
        QStringLiteral("HTTPS://") + service.Host() + QStringLiteral("/php/feedback.php");
    EXPECT_EQ(PostForm(capitals, {QStringLiteral("cmd=x")}, ShortTimeouts), QStringLiteral("OK"));
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("connection"), "close");
    EXPECT_EQ(requests[0].Header("content-type"),
              "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(requests[0].body, "cmd=x");
}

TEST(PostForm, DecompressesGzipAndDecodesTheAnswersCharset)
{
    TestWebService service;
    const QString text = QString::fromUtf8("<version>2.0</version>\r\n\xC3\xA9t\xC3\xA9");
    service.SetAnswer("/gzip", Answer{text.toUtf8(), "application/octet-stream", true});
    service.SetAnswer("/latin", Answer{"d\xE9j\xE0 vu", "text/plain; charset=ISO-8859-1"});
    EXPECT_EQ(PostForm(service.Url(QStringLiteral("/gzip")), {}, ShortTimeouts), text);
    EXPECT_EQ(PostForm(service.Url(QStringLiteral("/latin")), {}, ShortTimeouts),
              QString::fromUtf8("d\xC3\xA9j\xC3\xA0 vu"));
}

TEST(PostForm, FailuresRaiseWithTheTransfersMessage)
{
    TestWebService service;
    service.SetAnswer("/broken", Answer{"oops", "text/plain", false, 500});
    const struct {
        QString url;
    } cases[] = {
        {QStringLiteral("http://") + testweb::ClosedHost() + QStringLiteral("/php/check2.php")},
        {service.Url(QStringLiteral("/broken"))},
        {QStringLiteral("http://")},
    };
    for (const auto& c : cases) {
        try {
            PostForm(c.url, {QStringLiteral("cmd=check")}, ShortTimeouts);
            ADD_FAILURE() << "no error for " << c.url.toStdString();
        } catch (const PostError& error) {
            EXPECT_FALSE(error.message().trimmed().isEmpty()) << c.url.toStdString();
        }
    }
}

TEST(PostForm, ASilentServerEndsTheCallWithinItsTimeOut)
{
    const testweb::SilentServer silent;
    for (const char* scheme : {"http://", "https://"}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_THROW(PostForm(QLatin1String(scheme) + silent.Host() + QStringLiteral("/"),
                              {QStringLiteral("a=b")}, PostTimeouts{600, 600}),
                     PostError);
        EXPECT_GE(clock.elapsed(), 550) << scheme;
        EXPECT_LT(clock.elapsed(), 1100) << scheme;
    }
}

TEST(PostForm, ASilentAnswerAfterTheRequestIsAReceiveTimeOut)
{
    TestWebService service;
    service.SetAnswer("/php/feedback.php", Answer{"", "text/plain", false, 200, true});
    QElapsedTimer clock;
    clock.start();
    try {
        PostForm(service.Url(QStringLiteral("/php/feedback.php")), {QStringLiteral("cmd=x")},
                 FeedbackTimeouts);
        ADD_FAILURE() << "no time-out";
    } catch (const PostError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("3000"))) << error.what();
    }
    EXPECT_GE(clock.elapsed(), 2900);
    EXPECT_LT(clock.elapsed(), 3600);
}

TEST(PostForm, CancellingEndsAWaitingCallQuickly)
{
    const testweb::SilentServer silent;
    std::atomic<bool> cancel{false};
    QElapsedTimer clock;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    clock.start();
    EXPECT_THROW(PostForm(QStringLiteral("http://") + silent.Host(), {}, CheckerTimeouts, &cancel),
                 PostError);
    canceller.join();
    EXPECT_LT(clock.elapsed(), 700);
}
