// The answer rules of a transfer, without a server.
#include "net/transfer_rules.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace orvana;
using namespace orvana::net;
using namespace std::chrono_literals;

namespace {

const QString kAddress = QStringLiteral("http://portal.example/song/1/download");

RequestRules Rules(qint64 sizeCap = -1) {
    RequestRules rules;
    rules.address = kAddress;
    rules.sizeCap = sizeCap;
    rules.settings.stallTimeout = 300ms;
    rules.settings.minRateBytesPerSecond = 1024;
    rules.settings.minRateWindow = 200ms;
    return rules;
}

HopEnd Answer(int status, const char* phrase = "", qint64 received = 0) {
    HopEnd end;
    end.head.status = status;
    end.head.reasonPhrase = phrase;
    end.received = received;
    return end;
}

TransportError FailureOf(const Verdict& verdict) {
    if (const auto* failure = std::get_if<TransportError>(&verdict))
        return *failure;
    ADD_FAILURE() << "the verdict is no failure";
    return TransportError(QString(), -1, QString());
}

TransportError RefusalOf(const std::variant<Hop, TransportError>& hop) {
    if (const auto* refusal = std::get_if<TransportError>(&hop))
        return *refusal;
    ADD_FAILURE() << "the redirect was followed to "
                  << std::get<Hop>(hop).url.toString().toStdString();
    return TransportError(QString(), -1, QString());
}

} // namespace

TEST(Classify, EachStatusClassHasItsVerdict) {
    const RequestRules rules = Rules();
    const auto ok = std::get<Finished>(classify(Answer(200, "OK", 5), rules));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.received, 5);
    EXPECT_EQ(std::get<Finished>(classify(Answer(204), rules)).status, 204);

    HopEnd moved = Answer(302, "Found");
    moved.head.location = "http://files.example/a.mp3";
    const auto follow = std::get<Follow>(classify(moved, rules));
    EXPECT_EQ(follow.status, 302);
    EXPECT_EQ(follow.location, QByteArray("http://files.example/a.mp3"));

    // Neither a body nor a redirect that can be followed: every one fails, none for good.
    const std::pair<HopEnd, const char*> failures[] = {
        {Answer(101, "Switching Protocols"), "HTTP status 101 (Switching Protocols)"},
        {Answer(300, "Multiple Choices"), "HTTP status 300 (Multiple Choices)"},
        {Answer(302, "Found"), "HTTP status 302 (Found)"}, // no Location
        {Answer(304, "Not Modified"), "HTTP status 304 (Not Modified)"},
        {Answer(404, "Not Found"), "HTTP status 404 (Not Found)"},
        {Answer(500), "HTTP status 500"}};
    for (const auto& [end, reason] : failures) {
        const TransportError error = FailureOf(classify(end, rules));
        EXPECT_EQ(error.reason(), QString::fromUtf8(reason));
        EXPECT_EQ(error.httpStatus(), end.head.status);
        EXPECT_EQ(error.url(), kAddress);
        EXPECT_EQ(error.kind(), ErrorKind::Transport);
        EXPECT_FALSE(error.permanent()) << reason;
        EXPECT_FALSE(error.retryAfterSeconds()) << reason;
    }
}

TEST(Classify, RetryAfterCountsOnlyFor429And503WithinADay) {
    const RequestRules rules = Rules();
    auto retryAfter = [&](int status, std::optional<qint64> seconds) {
        HopEnd end = Answer(status);
        end.head.retryAfter = seconds;
        return FailureOf(classify(end, rules)).retryAfterSeconds();
    };
    EXPECT_EQ(retryAfter(429, 7), std::optional<int>(7));
    EXPECT_EQ(retryAfter(503, 0), std::optional<int>(0));
    EXPECT_EQ(retryAfter(503, 4'000'000'000), std::optional<int>(24 * 3600)); // a date in 2099
    EXPECT_EQ(retryAfter(503, -60), std::optional<int>(0));                   // a date gone by
    EXPECT_EQ(retryAfter(429, std::nullopt), std::nullopt);
    EXPECT_EQ(retryAfter(500, 7), std::nullopt);
    EXPECT_EQ(retryAfter(404, 7), std::nullopt);
}

TEST(Classify, StopsNameTheirCauseAndOnlyCapsAndEncodingsArePermanent) {
    const RequestRules rules = Rules(4096);
    auto stopped = [&](StopReason stop, int status = 200) {
        HopEnd end = Answer(status, "", 10);
        end.head.contentEncoding = "gzip";
        end.stop = stop;
        end.code = CURLE_WRITE_ERROR;
        return FailureOf(classify(end, rules));
    };
    // The stop decides even when the head says more (the texts are pinned by the server tests).
    EXPECT_EQ(stopped(StopReason::Cancelled).kind(), ErrorKind::Cancelled);
    EXPECT_EQ(stopped(StopReason::Stalled, 0).reason(),
              QStringLiteral("no data arrived for 300 ms"));
    for (StopReason transient : {StopReason::Cancelled, StopReason::Stalled, StopReason::Slow})
        EXPECT_FALSE(stopped(transient).permanent());

    const TransportError large = stopped(StopReason::TooLarge);
    EXPECT_TRUE(large.permanent());
    EXPECT_EQ(large.reason(), QStringLiteral("the answer is larger than 4096 bytes"));
    HopEnd page = Answer(200);
    page.stop = StopReason::TooLarge;
    EXPECT_EQ(FailureOf(classify(page, Rules(64 * 1024 * 1024))).reason(),
              QStringLiteral("the answer is larger than 64 MiB"));
    const TransportError encoded = stopped(StopReason::BadEncoding);
    EXPECT_TRUE(encoded.permanent());
    EXPECT_EQ(encoded.reason(), QStringLiteral("the answer's encoding \"gzip\" cannot be read"));

    // An error page cut off by us fails by its status, as one read to its end would.
    HopEnd errorPage = Answer(500, "Internal Server Error", 0);
    errorPage.stop = StopReason::ErrorBodyCut;
    errorPage.code = CURLE_WRITE_ERROR;
    const TransportError cut = FailureOf(classify(errorPage, rules));
    EXPECT_EQ(cut.reason(), QStringLiteral("HTTP status 500 (Internal Server Error)"));
    EXPECT_FALSE(cut.permanent());
}

TEST(Classify, CurlErrorsGiveCurlsWordsUnlessAnErrorStatusOrTheProxySaysMore) {
    RequestRules rules = Rules();
    HopEnd refused = Answer(0);
    refused.code = CURLE_COULDNT_CONNECT;
    refused.curlText = QStringLiteral("Failed to connect to portal.example port 80");
    refused.osError = ECONNREFUSED;
    EXPECT_EQ(FailureOf(classify(refused, rules)).reason(),
              QStringLiteral("Failed to connect to portal.example port 80"));

    HopEnd partial = Answer(200, "OK", 50);
    partial.head.contentLength = 100;
    partial.code = CURLE_PARTIAL_FILE;
    const TransportError cut = FailureOf(classify(partial, rules));
    EXPECT_EQ(cut.reason(), QStringLiteral("the answer ended after 50 of 100 bytes"));
    EXPECT_FALSE(cut.permanent());

    HopEnd brokenErrorPage = Answer(503, "Service Unavailable");
    brokenErrorPage.code = CURLE_RECV_ERROR;
    brokenErrorPage.curlText = QStringLiteral("Recv failure");
    EXPECT_EQ(FailureOf(classify(brokenErrorPage, rules)).reason(),
              QStringLiteral("HTTP status 503 (Service Unavailable)"));

    rules.proxy = QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 8081);
    EXPECT_EQ(FailureOf(classify(refused, rules)).reason(),
              QStringLiteral("proxy 127.0.0.1:8081: Connection refused"));
    HopEnd proxyWords = Answer(0);
    proxyWords.code = CURLE_PROXY;
    proxyWords.curlText = QStringLiteral("SOCKS5 request granted but connection failed");
    EXPECT_EQ(FailureOf(classify(proxyWords, rules)).reason(),
              QStringLiteral("proxy 127.0.0.1:8081: SOCKS5 request granted but connection failed"));
}

TEST(Classify, ABodyMustMatchItsLengthAndCarryNoEncoding) {
    const RequestRules rules = Rules();
    HopEnd shorter = Answer(200, "OK", 99);
    shorter.head.contentLength = 100;
    EXPECT_EQ(FailureOf(classify(shorter, rules)).reason(),
              QStringLiteral("the answer ended after 99 of 100 bytes"));
    HopEnd exact = Answer(200, "OK", 100);
    exact.head.contentLength = 100;
    EXPECT_TRUE(std::holds_alternative<Finished>(classify(exact, rules)));

    // An empty gzip body never reached the body's own check.
    HopEnd empty = Answer(200, "OK", 0);
    empty.head.contentEncoding = "gzip";
    const TransportError encoded = FailureOf(classify(empty, rules));
    EXPECT_TRUE(encoded.permanent());
    EXPECT_EQ(encoded.reason(), QStringLiteral("the answer's encoding \"gzip\" cannot be read"));
    empty.head.contentEncoding = "identity";
    EXPECT_TRUE(std::holds_alternative<Finished>(classify(empty, rules)));
}

TEST(NextHop, FollowsHttpAndHttpsUpToTheLimitAndDropsThePostBodyOn301To303) {
    const RequestRules rules = Rules();
    const QUrl from(QStringLiteral("http://portal.example/a"));
    const auto to =
        std::get<Hop>(nextHop(from, Follow{302, "https://files.example/%E6%AD%8C.mp3"}, 0, rules));
    EXPECT_EQ(to.url.toEncoded(), QByteArray("https://files.example/%E6%AD%8C.mp3"));
    for (int status : {301, 302, 303})
        EXPECT_TRUE(
            std::get<Hop>(nextHop(from, Follow{status, "http://a.example/"}, 0, rules)).asGet);
    for (int status : {307, 308})
        EXPECT_FALSE(
            std::get<Hop>(nextHop(from, Follow{status, "http://a.example/"}, 0, rules)).asGet);

    // Back to the same address (a page that sets a cookie) is followed; a loop meets the limit.
    const Follow self{302, "http://portal.example/a"};
    EXPECT_TRUE(std::holds_alternative<Hop>(nextHop(from, self, 9, rules)));
    const TransportError loop = RefusalOf(nextHop(from, self, 10, rules));
    EXPECT_EQ(loop.reason(), QStringLiteral("more than 10 redirects"));
    EXPECT_EQ(loop.httpStatus(), 302);
    EXPECT_EQ(loop.url(), kAddress);
    EXPECT_TRUE(loop.permanent());
    RequestRules none = rules;
    none.settings.maxRedirects = 0;
    EXPECT_EQ(RefusalOf(nextHop(from, Follow{301, "http://a.example/"}, 0, none)).reason(),
              QStringLiteral("more than 0 redirects"));
}

TEST(NextHop, RefusesOtherSchemesDowngradesAndAddressesWithoutAHost) {
    const RequestRules rules = Rules();
    const QUrl plain(QStringLiteral("http://portal.example/a"));
    const QUrl secure(QStringLiteral("https://portal.example/a"));
    const std::tuple<QUrl, Follow, const char*> refused[] = {
        {plain,
         {302, "file:///etc/passwd"},
         "redirected to an address that is not http or https: file:///etc/passwd"},
        {plain,
         {301, "ftp://files.example/a.mp3"},
         "redirected to an address that is not http or https: ftp://files.example/a.mp3"},
        {secure, {307, "http://portal.example/a"}, "redirected from https to plain http"},
        {plain, {302, "http:///etc/passwd"}, "redirected to an invalid address"},
    };
    for (const auto& [from, follow, reason] : refused) {
        const TransportError error = RefusalOf(nextHop(from, follow, 0, rules));
        EXPECT_EQ(error.reason(), QString::fromUtf8(reason));
        EXPECT_EQ(error.httpStatus(), follow.status);
        EXPECT_TRUE(error.permanent()) << reason;
    }
    EXPECT_TRUE(
        std::holds_alternative<Hop>(nextHop(secure, Follow{302, "HTTPS://a.example/"}, 0, rules)));
}

TEST(CheckAddress, OnlyHttpAndHttpsAddressesWithAHostAreFetched) {
    EXPECT_EQ(std::get<QUrl>(checkAddress(QStringLiteral("http://127.0.0.1:8080/流星 雨.mp3")))
                  .toEncoded(),
              QByteArray("http://127.0.0.1:8080/%E6%B5%81%E6%98%9F%20%E9%9B%A8.mp3"));
    EXPECT_TRUE(std::holds_alternative<QUrl>(checkAddress(QStringLiteral("HTTPS://a.example/x"))));
    auto refusal = [](const char* address) {
        const std::variant<QUrl, TransportError> checked = checkAddress(QString::fromUtf8(address));
        if (const auto* error = std::get_if<TransportError>(&checked))
            return *error;
        ADD_FAILURE() << address << " was taken";
        return TransportError(QString(), -1, QString());
    };
    for (const char* address : {"file:///etc/passwd", "ftp://127.0.0.1/x", "/relative", ""}) {
        const TransportError error = refusal(address);
        EXPECT_EQ(error.reason(), QStringLiteral("only http and https addresses are fetched"));
        EXPECT_EQ(error.httpStatus(), 0);
        EXPECT_EQ(error.url(), QString::fromUtf8(address));
        EXPECT_TRUE(error.permanent()) << address;
    }
    // No attempt can mend an address without a host (a download page naming http:///etc/passwd).
    for (const char* address : {"http:///etc/passwd", "http://", "https:relative"}) {
        const TransportError error = refusal(address);
        EXPECT_EQ(error.reason(), QStringLiteral("not a valid address")) << address;
        EXPECT_TRUE(error.permanent()) << address;
    }
}
