#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the office's web server reads from a browser, every byte of it
// hostile: the framing of requests on a connection, query strings and
// forms, cookies and uploaded files. Plain C++, no Qt, so that it can be
// fuzzed on its own.
namespace web {

// Limits on what a request may carry.
inline constexpr std::size_t kMaxHeaderBytes = std::size_t{16} * 1024;  // request line and headers
inline constexpr std::size_t kMaxFormBytes = std::size_t{64} * 1024;    // any body but an upload
inline constexpr std::size_t kUploadOverhead = std::size_t{64} * 1024;  // the form around the file

// Watches the bytes of one connection as they arrive, request by request,
// and refuses a request before its body is read: headers too large or
// malformed, a body over the limit for its path (Content-Length), a body
// without a length. A WebSocket upgrade ends the watch.
class RequestGate {
public:
    // The largest body a path may have.
    using BodyLimit = std::size_t (*)(std::string_view path);
    explicit RequestGate(BodyLimit limit) : limit_(limit) {}

    enum class State { Reading, Refused, Upgraded };
    struct Refusal {
        int status = 0;       // 400, 411, 413, 431, 501
        std::string message;  // Swedish, for the answer's body
    };

    // The next bytes of the connection, in order.
    State Feed(std::string_view bytes);
    const Refusal& Refused() const { return refusal_; }
    // True while part of a request has come and not all of it.
    bool MidRequest() const { return !header_.empty() || bodyLeft_ > 0; }

private:
    State Refuse(int status, std::string message);
    State HeadersDone();

    BodyLimit limit_;
    State state_ = State::Reading;
    std::string header_;  // the current request's head, until its blank line
    std::size_t bodyLeft_ = 0;
    Refusal refusal_;
};

// "a=1&b=x%20y" (or a form's body): names and values decoded (%XX, '+' a
// blank); a later name replaces an earlier one. None when a %-code is bad,
// a byte is a control character or a part is empty of a name.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query);

// The Cookie header's pairs; the first of a name counts (the most specific
// path, as browsers send them). Malformed pairs are skipped.
std::map<std::string, std::string> ParseCookies(std::string_view header);

struct FormPart {
    std::string name;
    std::optional<std::string> fileName;  // only a file has one
    std::string data;
};

// A multipart/form-data body, given its Content-Type header. None when the
// type has no boundary or the body does not follow it to its closing
// delimiter.
std::optional<std::vector<FormPart>> ParseMultipart(std::string_view contentType,
                                                    std::string_view body);

// The file name a browser sent, without any folder; none when it is empty
// or holds control characters.
std::optional<std::string> BaseFileName(std::string_view sent);

// Whether an Origin header names the host the request was sent to (the Host
// header): scheme://host[:port] with the same host and port.
bool SameOrigin(std::string_view origin, std::string_view host);

// A JSON string literal for text (UTF-8 passed through, controls and
// characters that could end a script escaped).
std::string JsonString(std::string_view text);

}  // namespace web
