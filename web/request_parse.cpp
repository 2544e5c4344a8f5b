#include "web/request_parse.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace web {

namespace {

constexpr std::size_t kMaxPartHeaderBytes = std::size_t{8} * 1024;
constexpr std::size_t kMaxParts = 32;
constexpr std::size_t kMaxBoundary = 70;
constexpr std::size_t kMaxFileName = 255;

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (IsControl(c)) return std::nullopt;
        out += c;
    }
    return out;
}

// A header parameter's value: a token, or a quoted string with \-escapes.
std::string ParameterValue(std::string_view value) {
    value = Trim(value);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
    std::string out;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

// "type; a=1; b="x"": the parameters by lower-case name; the type in `type`.
std::map<std::string, std::string> Parameters(std::string_view header, std::string& type) {
    std::map<std::string, std::string> found;
    std::size_t at = header.find(';');
    type = std::string(Trim(header.substr(0, at)));
    std::transform(type.begin(), type.end(), type.begin(), Lower);
    while (at != std::string_view::npos) {
        // A quoted value may hold ';'.
        std::size_t end = at + 1;
        bool quoted = false;
        for (; end < header.size(); ++end) {
            if (header[end] == '"') quoted = !quoted;
            if (header[end] == '\\' && quoted) ++end;
            if (header[end] == ';' && !quoted) break;
        }
        const std::string_view piece = header.substr(at + 1, end - at - 1);
        const std::size_t equals = piece.find('=');
        if (equals != std::string_view::npos) {
            std::string name(Trim(piece.substr(0, equals)));
            std::transform(name.begin(), name.end(), name.begin(), Lower);
            found.emplace(name, ParameterValue(piece.substr(equals + 1)));
        }
        at = end < header.size() ? end : std::string_view::npos;
    }
    return found;
}

}  // namespace

RequestGate::State RequestGate::Refuse(int status, std::string message) {
    refusal_ = {status, std::move(message)};
    state_ = State::Refused;
    return state_;
}

RequestGate::State RequestGate::Feed(std::string_view bytes) {
    while (!bytes.empty() && state_ == State::Reading) {
        if (bodyLeft_ > 0) {
            const std::size_t taken = std::min(bodyLeft_, bytes.size());
            bodyLeft_ -= taken;
            bytes.remove_prefix(taken);
            continue;
        }
        // Blank lines between requests are allowed.
        while (header_.empty() && !bytes.empty() &&
               (bytes.front() == '\r' || bytes.front() == '\n'))
            bytes.remove_prefix(1);
        if (bytes.empty()) break;
        const std::size_t before = header_.size();
        const std::size_t room = kMaxHeaderBytes + 4 - before;
        header_.append(bytes.substr(0, room));
        const std::size_t end = header_.find("\r\n\r\n", before < 3 ? 0 : before - 3);
        if (end == std::string::npos) {
            if (header_.size() > kMaxHeaderBytes) return Refuse(431, "begärans huvud är för stort");
            bytes.remove_prefix(std::min(room, bytes.size()));
            continue;
        }
        bytes.remove_prefix(end + 4 - before);
        header_.resize(end + 2);
        if (HeadersDone() != State::Reading) return state_;
        header_.clear();
    }
    return state_;
}

RequestGate::State RequestGate::HeadersDone() {
    for (std::size_t i = 0; i < header_.size(); ++i)
        if (header_[i] == '\n' && (i == 0 || header_[i - 1] != '\r'))
            return Refuse(400, "begärans rader ska sluta med CR LF");
    const std::size_t lineEnd = header_.find("\r\n");
    const std::string_view line(header_.data(), lineEnd);
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || first == last || first == 0)
        return Refuse(400, "begärans första rad kunde inte läsas");
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, last - first - 1);
    const std::string_view version = line.substr(last + 1);
    if (!std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return Refuse(400, "begärans metod kunde inte läsas");
    if (target.empty() || target.front() != '/' ||
        std::any_of(target.begin(), target.end(),
                    [](char c) { return IsControl(c) || c == ' ' || (c & 0x80) != 0; }))
        return Refuse(400, "begärans adress kunde inte läsas");
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return Refuse(505, "bara HTTP/1.0 och HTTP/1.1 stöds");

    std::optional<std::size_t> length;
    bool upgrade = false;
    std::size_t at = lineEnd + 2;
    while (at < header_.size()) {
        const std::size_t end = header_.find("\r\n", at);
        const std::string_view field(header_.data() + at, end - at);
        at = end + 2;
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos || colon == 0 ||
            !std::all_of(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(colon),
                         IsTokenChar))
            return Refuse(400, "en rad i begärans huvud kunde inte läsas");
        const std::string_view name = field.substr(0, colon);
        const std::string_view value = Trim(field.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return IsControl(c) && c != '\t'; }))
            return Refuse(400, "en rad i begärans huvud har styrtecken");
        if (SameText(name, "Transfer-Encoding"))
            return Refuse(411, "begäran måste ange sin längd (Content-Length)");
        if (SameText(name, "Content-Length")) {
            std::size_t given = 0;
            const auto parsed = std::from_chars(value.data(), value.data() + value.size(), given);
            if (value.empty() || parsed.ec != std::errc() ||
                parsed.ptr != value.data() + value.size() || (length && *length != given))
                return Refuse(400, "begärans längd (Content-Length) kunde inte läsas");
            length = given;
        }
        if (SameText(name, "Upgrade") && SameText(value, "websocket")) upgrade = true;
    }
    const std::string_view path = target.substr(0, target.find('?'));
    if (length && *length > limit_(path))
        return Refuse(413, "begäran är för stor (högst " + std::to_string(limit_(path)) + " byte)");
    if (upgrade && method == "GET") {
        state_ = State::Upgraded;
        return state_;
    }
    bodyLeft_ = length.value_or(0);
    return state_;
}

std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> found;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view piece = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        if (piece.empty()) continue;
        const std::size_t equals = piece.find('=');
        auto name = Decoded(piece.substr(0, equals));
        auto value = Decoded(equals == std::string_view::npos ? std::string_view()
                                                              : piece.substr(equals + 1));
        if (!name || !value || name->empty()) return std::nullopt;
        found[*name] = std::move(*value);
    }
    return found;
}

std::map<std::string, std::string> ParseCookies(std::string_view header) {
    std::map<std::string, std::string> found;
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        const std::string_view piece = Trim(header.substr(0, end));
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        const std::size_t equals = piece.find('=');
        if (equals == std::string_view::npos || equals == 0) continue;
        found.emplace(std::string(Trim(piece.substr(0, equals))),
                      std::string(Trim(piece.substr(equals + 1))));
    }
    return found;
}

std::optional<std::vector<FormPart>> ParseMultipart(std::string_view contentType,
                                                    std::string_view body) {
    std::string type;
    const auto parameters = Parameters(contentType, type);
    const auto boundary = parameters.find("boundary");
    if (type != "multipart/form-data" || boundary == parameters.end() || boundary->second.empty() ||
        boundary->second.size() > kMaxBoundary)
        return std::nullopt;
    const std::string delimiter = "\r\n--" + boundary->second;
    std::size_t at = 0;
    const std::string_view first = std::string_view{delimiter}.substr(2);
    if (body.substr(0, first.size()) == first) {
        at = delimiter.size() - 2;
    } else {
        const std::size_t found = body.find(delimiter);
        if (found == std::string_view::npos) return std::nullopt;
        at = found + delimiter.size();
    }
    std::vector<FormPart> parts;
    for (;;) {
        if (body.substr(at, 2) == "--") return parts;
        while (at < body.size() && (body[at] == ' ' || body[at] == '\t')) ++at;
        if (body.substr(at, 2) != "\r\n") return std::nullopt;
        at += 2;
        std::size_t headersEnd = at;
        if (body.substr(at, 2) != "\r\n") {
            headersEnd = body.find("\r\n\r\n", at);
            if (headersEnd == std::string_view::npos) return std::nullopt;
            headersEnd += 2;
        }
        if (headersEnd - at > kMaxPartHeaderBytes || parts.size() == kMaxParts) return std::nullopt;
        FormPart part;
        bool named = false;
        for (std::size_t line = at; line < headersEnd;) {
            const std::size_t end = body.find("\r\n", line);
            const std::string_view field = body.substr(line, end - line);
            line = end + 2;
            const std::size_t colon = field.find(':');
            if (colon == std::string_view::npos) return std::nullopt;
            if (!SameText(Trim(field.substr(0, colon)), "Content-Disposition")) continue;
            std::string disposition;
            const auto values = Parameters(field.substr(colon + 1), disposition);
            const auto name = values.find("name");
            if (disposition != "form-data" || name == values.end()) return std::nullopt;
            part.name = name->second;
            named = true;
            if (const auto file = values.find("filename"); file != values.end())
                part.fileName = file->second;
        }
        if (!named) return std::nullopt;
        const std::size_t dataStart = headersEnd + 2;
        const std::size_t dataEnd = body.find(delimiter, dataStart);
        if (dataEnd == std::string_view::npos) return std::nullopt;
        part.data = std::string(body.substr(dataStart, dataEnd - dataStart));
        parts.push_back(std::move(part));
        at = dataEnd + delimiter.size();
    }
}

std::optional<std::string> BaseFileName(std::string_view sent) {
    const std::size_t slash = sent.find_last_of("/\\");
    if (slash != std::string_view::npos) sent.remove_prefix(slash + 1);
    if (sent.empty() || sent == "." || sent == ".." || sent.size() > kMaxFileName ||
        std::any_of(sent.begin(), sent.end(), IsControl))
        return std::nullopt;
    return std::string(sent);
}

bool SameOrigin(std::string_view origin, std::string_view host) {
    std::size_t scheme = 0;
    if (origin.substr(0, 7) == "http://")
        scheme = 7;
    else if (origin.substr(0, 8) == "https://")
        scheme = 8;
    else
        return false;
    return !host.empty() && SameText(origin.substr(scheme), host);
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        // U+2028 and U+2029 end a line in a script.
        const bool separator = byte == 0xE2 && i + 2 < text.size() &&
                               static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                               (static_cast<unsigned char>(text[i + 2]) & 0xFEU) == 0xA8;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (IsControl(c) || c == '<' || c == '>' || c == '&' || separator) {
            const unsigned code =
                separator ? 0x2028U + (static_cast<unsigned char>(text[i + 2]) & 1U) : byte;
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", code);
            out += escaped.data();
            if (separator) i += 2;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

}  // namespace web
