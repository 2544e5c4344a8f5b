#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/request_parse.h"
#include "web/sessions.h"

namespace {

std::size_t SmallLimit(std::string_view path) { return path == "/upp" ? 1000 : 10; }

TEST(RequestGate, RefusesBeforeTheBody) {
    struct Case {
        const char* name;
        std::string bytes;
        web::RequestGate::State state;
        int status;
    };
    const std::string big(web::kMaxHeaderBytes + 1, 'a');
    const std::vector<Case> cases = {
        {"two requests kept alive",
         "GET / HTTP/1.1\r\nHost: x\r\n\r\nPOST /upp HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde",
         web::RequestGate::State::Reading, 0},
        {"a body at its limit", "POST /upp HTTP/1.1\r\nContent-Length: 1000\r\n\r\n",
         web::RequestGate::State::Reading, 0},
        {"a body over its path's limit", "POST /x HTTP/1.1\r\nContent-Length: 11\r\n\r\n",
         web::RequestGate::State::Refused, 413},
        {"a body's bytes are not read as a request",
         "POST /upp HTTP/1.1\r\nContent-Length: 4\r\n\r\nGET \r\n\r\nGET / "
         "HTTP/1.1\r\nContent-Length: 11\r\n\r\n",
         web::RequestGate::State::Refused, 413},
        {"chunked", "POST /upp HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
         web::RequestGate::State::Refused, 411},
        {"two lengths", "POST /upp HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
         web::RequestGate::State::Refused, 400},
        {"a length that is no number", "POST /upp HTTP/1.1\r\nContent-Length: 1x\r\n\r\n",
         web::RequestGate::State::Refused, 400},
        {"a head too large", "GET /" + big, web::RequestGate::State::Refused, 431},
        {"bare line feeds", "GET / HTTP/1.1\nHost: x\r\n\r\n", web::RequestGate::State::Refused,
         400},
        {"no version", "GET /\r\n\r\n", web::RequestGate::State::Refused, 400},
        {"HTTP/2 text", "GET / HTTP/2.0\r\n\r\n", web::RequestGate::State::Refused, 505},
        {"a target that is no path", "GET http://x/ HTTP/1.1\r\n\r\n",
         web::RequestGate::State::Refused, 400},
        {"a header without a colon", "GET / HTTP/1.1\r\nHost\r\n\r\n",
         web::RequestGate::State::Refused, 400},
        {"a folded header", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n",
         web::RequestGate::State::Refused, 400},
        {"a WebSocket", "GET /api/lage HTTP/1.1\r\nUpgrade: websocket\r\n\r\n\x81\x85",
         web::RequestGate::State::Upgraded, 0},
    };
    for (const Case& c : cases) {
        // Whole, and a byte at a time: the answer does not depend on how bytes arrive.
        web::RequestGate whole(&SmallLimit);
        web::RequestGate bytewise(&SmallLimit);
        whole.Feed(c.bytes);
        web::RequestGate::State last = web::RequestGate::State::Reading;
        for (const char byte : c.bytes) last = bytewise.Feed(std::string_view(&byte, 1));
        EXPECT_EQ(whole.Feed(""), c.state) << c.name;
        EXPECT_EQ(last, c.state) << c.name;
        if (c.state == web::RequestGate::State::Refused) {
            EXPECT_EQ(whole.Refused().status, c.status) << c.name;
            EXPECT_EQ(bytewise.Refused().status, c.status) << c.name;
        }
    }
}

TEST(Forms, QueryStrings) {
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(web::ParseQuery("roll=bil+3&losenord=a%26b%3D&&x="),
              (Map{{"roll", "bil 3"}, {"losenord", "a&b="}, {"x", ""}}));
    EXPECT_EQ(web::ParseQuery("datum=1&datum=2"), (Map{{"datum", "2"}}));
    EXPECT_EQ(web::ParseQuery("%C3%A5=%E2%82%AC"), (Map{{"\xC3\xA5", "\xE2\x82\xAC"}}));
    for (const char* bad : {"a=%", "a=%4", "a=%zz", "a=%00", "a=%0A", "=x"})
        EXPECT_FALSE(web::ParseQuery(bad)) << bad;
}

TEST(Forms, Cookies) {
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(web::ParseCookies("a=1; leverans_session=abc ;b=; a=2; trasig; =x"),
              (Map{{"a", "1"}, {"leverans_session", "abc"}, {"b", ""}}));
}

TEST(Forms, Multipart) {
    const std::string type = "multipart/form-data; boundary=\"XY;Z\"";
    const std::string body =
        "preamble\r\n--XY;Z\r\nContent-Disposition: form-data; name=\"bil\"\r\n\r\n3\r\n"
        "--XY;Z\r\ncontent-disposition: form-data; name=\"fil\"; "
        "filename=\"C:\\\\rutter\\\\a;b.csv\"\r\n"
        "Content-Type: text/csv\r\n\r\nA;B\r\n--XY\r\n\r\n--XY;Z--\r\nepilogue";
    const auto parts = web::ParseMultipart(type, body);
    ASSERT_TRUE(parts);
    ASSERT_EQ(parts->size(), 2U);
    EXPECT_EQ((*parts)[0].name, "bil");
    EXPECT_EQ((*parts)[0].data, "3");
    EXPECT_FALSE((*parts)[0].fileName);
    EXPECT_EQ((*parts)[1].fileName, "C:\\rutter\\a;b.csv");
    EXPECT_EQ((*parts)[1].data, "A;B\r\n--XY\r\n");
    EXPECT_EQ(web::BaseFileName(*(*parts)[1].fileName), "a;b.csv");

    const std::vector<std::pair<const char*, std::string>> bad = {
        {"no boundary", "multipart/form-data"},
        {"another type", "text/plain; boundary=XY;Z"},
    };
    for (const auto& [name, wrongType] : bad)
        EXPECT_FALSE(web::ParseMultipart(wrongType, body)) << name;
    for (const std::string& cut :
         {body.substr(0, body.find("--XY;Z--")), std::string("--XY;Z\r\nX: y\r\n\r\n\r\n--XY;Z--"),
          std::string("--XY;Z\r\nContent-Disposition: form-data\r\n\r\n\r\n--XY;Z--")})
        EXPECT_FALSE(web::ParseMultipart(type, cut)) << cut;
    for (const char* name : {"", "a/", "..", "a\tb"}) EXPECT_FALSE(web::BaseFileName(name)) << name;
}

TEST(Forms, SameOrigin) {
    EXPECT_TRUE(web::SameOrigin("http://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_TRUE(web::SameOrigin("https://Kontor.example", "kontor.example"));
    for (const char* origin : {"http://127.0.0.1:8081", "null", "", "http://127.0.0.1:8080.evil",
                               "ftp://127.0.0.1:8080", "//127.0.0.1:8080"})
        EXPECT_FALSE(web::SameOrigin(origin, "127.0.0.1:8080")) << origin;
    EXPECT_FALSE(web::SameOrigin("http://", ""));
}

TEST(Forms, JsonStringsCannotEndAScript) {
    EXPECT_EQ(web::JsonString("a\"\\</script>\n\x01\xE2\x80\xA8\xC3\xA5"),
              "\"a\\\"\\\\\\u003c/script\\u003e\\u000a\\u0001\\u2028\xC3\xA5\"");
}

TEST(Sessions, TokensAndIdleTime) {
    const std::string token = web::RandomToken();
    EXPECT_EQ(token.size(), 64U);
    EXPECT_NE(token, web::RandomToken());
    EXPECT_TRUE(web::TokensEqual(token, token));
    EXPECT_FALSE(web::TokensEqual(token, token.substr(1)));
    EXPECT_FALSE(web::TokensEqual("", ""));

    const auto start = web::Clock::time_point{};
    web::SessionStore store(std::chrono::minutes(30));
    const std::string kept = store.Create("kontorist", "", nullptr, start).token;
    const std::string left = store.Create("bil3", "3", nullptr, start).token;
    EXPECT_NE(store.Use(kept, start + std::chrono::minutes(29)), nullptr);
    EXPECT_NE(store.Use(kept, start + std::chrono::minutes(58)), nullptr);
    EXPECT_EQ(store.Use(left, start + std::chrono::minutes(31)), nullptr);
    EXPECT_EQ(store.Peek(left), nullptr);
    EXPECT_EQ(store.EndIdle(start + std::chrono::minutes(89)), std::vector<std::string>{kept});
    EXPECT_EQ(store.Size(), 0U);
}

TEST(Sessions, LoginsLimitedPerAddressAndRole) {
    web::LoginLimiter limiter({3, 2, std::chrono::minutes(5)});
    const auto t = web::Clock::time_point{};
    limiter.Failed("10.0.0.1", "kontorist", t);
    limiter.Failed("10.0.0.2", "kontorist", t);
    EXPECT_FALSE(limiter.Allowed("10.0.0.3", "kontorist", t));  // the role, from anywhere
    EXPECT_TRUE(limiter.Allowed("10.0.0.1", "bil3", t));
    limiter.Failed("10.0.0.1", "a", t);
    limiter.Failed("10.0.0.1", "b", t);
    EXPECT_FALSE(limiter.Allowed("10.0.0.1", "bil3", t));  // the address, as any role
    EXPECT_TRUE(limiter.Allowed("10.0.0.1", "bil3", t + std::chrono::minutes(6)));
}

}  // namespace
