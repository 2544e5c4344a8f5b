// What the office's web server reads from a browser: the framing of requests
// on a connection, query strings and forms, cookies and uploaded files. The
// input's first byte says where the bytes are split in two arrivals.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "web/request_parse.h"

namespace {

std::size_t Limit(std::string_view path) { return path == "/api/publicera" ? 4096 : 64; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::size_t split = data[0] % size;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    // However the bytes arrive, the gate decides the same.
    web::RequestGate whole(&Limit);
    web::RequestGate parts(&Limit);
    const auto once = whole.Feed(input);
    parts.Feed(input.substr(0, split));
    const auto twice = parts.Feed(input.substr(std::min(split, input.size())));
    FUZZ_CHECK(once == twice);
    if (once == web::RequestGate::State::Refused) {
        FUZZ_CHECK(whole.Refused().status == parts.Refused().status);
        FUZZ_CHECK(whole.Refused().status >= 400 && whole.Refused().status < 600);
    }

    if (const auto query = web::ParseQuery(input))
        for (const auto& [name, value] : *query) {
            FUZZ_CHECK(!name.empty());
            for (const char c : name + value)
                FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        }
    web::ParseCookies(input);

    // A form's parts are pieces of its body, and file names lose their folders.
    if (const auto form = web::ParseMultipart("multipart/form-data; boundary=xyz", input))
        for (const web::FormPart& part : *form) {
            FUZZ_CHECK(input.find(part.data) != std::string_view::npos);
            if (part.fileName)
                if (const auto name = web::BaseFileName(*part.fileName))
                    FUZZ_CHECK(name->find_first_of("/\\") == std::string::npos && !name->empty());
        }
    const std::string json = web::JsonString(input);
    FUZZ_CHECK(json.find('<') == std::string::npos && json.find('\n') == std::string::npos);
    return 0;
}
