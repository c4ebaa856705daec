#include "tests/standin-server/core/HttpExchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zandrel::standin {
namespace {

std::string StatusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

TEST(ReplyTo, AnswersThePageAndRefusesTheRest) {
    struct Case {
        std::string head;
        std::string status;
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {"GET / HTTP/1.1\r\nHost: localhost:1272", "HTTP/1.0 200 OK", "request: GET / HTTP/1.1"},
        {"GET /index.html HTTP/1.0", "HTTP/1.0 200 OK", "request: GET /index.html HTTP/1.0"},
        {"GET /favicon.ico HTTP/1.1", "HTTP/1.0 404 Not Found", "request: GET /favicon.ico HTTP/1.1"},
        {"POST / HTTP/1.1", "HTTP/1.0 405 Method Not Allowed", "request: POST / HTTP/1.1"},
        {"GET /", "HTTP/1.0 400 Bad Request", "request: GET /"},
        {"", "HTTP/1.0 400 Bad Request", "request: "},
        {"GET / FTP/1.0", "HTTP/1.0 400 Bad Request", "request: GET / FTP/1.0"},
        {std::string("GET /\x01\xff HTTP/1.1", 16), "HTTP/1.0 404 Not Found", "request: GET /?? HTTP/1.1"},
    };
    for (const Case& c : cases) {
        const Reply reply = ReplyTo(c.head);
        EXPECT_EQ(StatusLine(reply.response), c.status) << c.head;
        EXPECT_EQ(reply.logLine, c.logLine) << c.head;
    }
}

TEST(ReplyTo, ThePageCarriesItsLengthAndTheName) {
    const std::string response = ReplyTo("GET / HTTP/1.1").response;
    const std::size_t bodyStart = response.find("\r\n\r\n") + 4;
    const std::string body = response.substr(bodyStart);
    EXPECT_NE(response.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
    EXPECT_NE(body.find("Zandrel Configuration"), std::string::npos);
    // HEAD: the same headers, no body.
    EXPECT_EQ(ReplyTo("HEAD / HTTP/1.1").response, response.substr(0, bodyStart));
}

TEST(ReplyTo, TheLoggedRequestLineIsCut) {
    const Reply reply = ReplyTo("GET /" + std::string(1000, 'a') + " HTTP/1.1");
    EXPECT_EQ(reply.logLine.size(), std::string("request: ").size() + 200);
}

TEST(RequestReader, AnswersOnceTheHeadIsCompleteHoweverItArrives) {
    const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
    for (std::size_t split = 0; split <= request.size(); ++split) {
        RequestReader reader;
        std::optional<Reply> first = reader.Feed(request.substr(0, split));
        std::optional<Reply> second = reader.Feed(request.substr(split));
        ASSERT_NE(first.has_value(), second.has_value()) << split;
        EXPECT_EQ(StatusLine((first ? first : second)->response), "HTTP/1.0 200 OK") << split;
    }
    // Byte by byte: the blank line may straddle any boundary.
    RequestReader reader;
    int replies = 0;
    for (char c : request) {
        replies += reader.Feed(std::string_view(&c, 1)).has_value() ? 1 : 0;
    }
    EXPECT_EQ(replies, 1);
}

TEST(RequestReader, RefusesAnEndlessHeadWithoutHoldingIt) {
    RequestReader reader;
    std::optional<Reply> reply;
    const std::string chunk(1000, 'a');
    int fed = 0;
    while (!reply && fed < 100) {
        reply = reader.Feed(chunk);
        ++fed;
    }
    ASSERT_TRUE(reply.has_value());
    EXPECT_LE(fed, 9);
    EXPECT_EQ(StatusLine(reply->response), "HTTP/1.0 431 Request Header Fields Too Large");
    // Whatever comes after the answer is ignored.
    EXPECT_FALSE(reader.Feed("\r\n\r\n").has_value());
}

TEST(RequestReader, AHeadOfExactlyTheLimitIsStillAnswered) {
    std::string head = "GET / HTTP/1.1\r\nX: ";
    head += std::string(kMaxRequestHead - head.size(), 'a');
    RequestReader reader;
    const std::optional<Reply> reply = reader.Feed(head + "\r\n\r\n");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(StatusLine(reply->response), "HTTP/1.0 200 OK");
}

}  // namespace
}  // namespace zandrel::standin
