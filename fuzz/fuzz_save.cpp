// Sequences of saves on a small route.
//
// Input: the first line shapes the route, every further line is one save:
// its first byte picks the customer, the rest are the article texts split at
// ';'. With an even (or no) first byte the route is the demo route whose
// draws come from the line; with an odd one it is a route of up to 8 articles
// and 6 customers whose orders come from the line, up to the 16-bit limit of
// the stock.
//
// Properties: a save is refused exactly when some text reads outside 16 bits
// or the stock would leave them (the first such article is named), and then
// nothing changes at all; a save that goes through stores the rounded
// readings, changes nothing but the customer's deliveries, the stock and the
// mark, and keeps Lager = sum of Best - sum of Lev over the saved customers.
// A customer that cannot be saved throws and changes nothing. The
// recommendations that follow share out exactly the stock left.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "route/route.h"

namespace {

using route::kBest;
using route::kLev;
using route::kRek;
using route::kVan;
using route::RouteData;
using Reason = route::SaveRefusal::Reason;

constexpr std::size_t kMaxSaves = 16;

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t at = text.find(separator);
        pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return pieces;
        text.remove_prefix(at + 1);
    }
}

unsigned Byte(std::string_view bytes, std::size_t i) {
    return bytes.empty() ? 0U : static_cast<unsigned char>(bytes[i % bytes.size()]);
}

// Draws from the bytes of the input, one byte each, in turn.
class ByteDraws : public route::RandomSource {
public:
    explicit ByteDraws(std::string_view bytes) : bytes_(bytes) {}
    void ReseedFromTimer() override {}
    float NextRandom() override {
        if (bytes_.empty()) return 0.5F;
        return static_cast<float>(Byte(bytes_, next_++)) / 256.0F;
    }

private:
    std::string_view bytes_;
    std::size_t next_ = 0;
};

RouteData CustomRoute(std::string_view shape) {
    RouteData r;
    const int articles = 1 + static_cast<int>(Byte(shape, 1) % 8);
    const int customers = 1 + static_cast<int>(Byte(shape, 2) % 6);
    for (int a = 1; a <= articles; ++a) r.colArtikel.Add("artikel", route::IndexText(a));
    r.nAntal.Resize(articles, 0);
    // Orders small enough that their sum, the starting stock, fits 16 bits.
    const unsigned maxOrder = 32767U / static_cast<unsigned>(customers);
    std::size_t next = 3;
    for (int k = 1; k <= customers; ++k) {
        r.colKund.Add("kund", route::IndexText(k));
        r.nAntal.ResizeSlots(k);
        for (int a = 1; a <= articles; ++a) {
            const unsigned raw = Byte(shape, next) | (Byte(shape, next + 1) << 8U);
            next += 2;
            const auto best = static_cast<int16_t>(raw % (maxOrder + 1));
            r.nAntal(a, kBest, k) = best;
            r.nAntal(a, kBest, kVan) = static_cast<int16_t>(r.nAntal(a, kBest, kVan) + best);
        }
    }
    return r;
}

RouteData MakeRoute(std::string_view shape) {
    if (Byte(shape, 0) % 2 == 1) return CustomRoute(shape);
    RouteData r;
    ByteDraws draws(shape.empty() ? shape : shape.substr(1));
    route::StartRoute(r, draws);
    return r;
}

bool SameRoute(const RouteData& a, const RouteData& b) {
    if (a.colArtikel.Count() != b.colArtikel.Count() || a.colKund.Count() != b.colKund.Count())
        return false;
    for (int i = 1; i <= a.colArtikel.Count(); ++i) {
        if (a.colArtikel.Item(i) != b.colArtikel.Item(i)) return false;
    }
    for (int i = 1; i <= a.colKund.Count(); ++i) {
        if (a.colKund.Item(i) != b.colKund.Item(i)) return false;
    }
    const route::QuantityTable& n = a.nAntal;
    const route::QuantityTable& m = b.nAntal;
    if (n.Articles() != m.Articles() || n.LastSlot() != m.LastSlot()) return false;
    for (int x = 1; x <= n.Articles(); ++x) {
        for (int t = 1; t <= route::QuantityTable::kPlanes; ++t) {
            for (int k = 0; k <= n.LastSlot(); ++k) {
                if (n(x, t, k) != m(x, t, k)) return false;
            }
        }
    }
    return a.nAktKund == b.nAktKund && a.nSparadKund == b.nSparadKund;
}

bool Fits16(long value) { return value >= -32768 && value <= 32767; }

// What a save must do, worked out apart from SaveKund with wide integers.
struct Outcome {
    std::optional<Reason> reason;
    int article = 0;
    std::vector<int16_t> lev;    // per article, when accepted
    std::vector<int16_t> lager;  // per article, when accepted
};

Outcome Predict(const RouteData& r, int k, const std::vector<std::string>& texts) {
    Outcome out;
    for (int b = 1; b <= r.colArtikel.Count(); ++b) {
        const auto index = static_cast<std::size_t>(b - 1);
        const std::string text = index < texts.size() ? texts[index] : std::string();
        int16_t lev = 0;
        try {
            lev = route::RoundToInt16(route::ReadNumber(text));
        } catch (const route::OverflowError&) {
            return {Reason::BadQuantity, b, {}, {}};
        }
        // The earlier delivery goes back on the van first; that sum must fit too.
        const long givenBack = long{r.nAntal(b, kBest, kVan)} + long{r.nAntal(b, kLev, k)};
        const long lager = givenBack - lev;
        if (!Fits16(givenBack) || !Fits16(lager)) return {Reason::BadStock, b, {}, {}};
        out.lev.push_back(lev);
        out.lager.push_back(static_cast<int16_t>(lager));
    }
    return out;
}

void CheckStock(const RouteData& r) {
    for (int a = 1; a <= r.colArtikel.Count(); ++a) {
        long expected = 0;
        for (int k = 1; k <= r.colKund.Count(); ++k) expected += r.nAntal(a, kBest, k);
        for (int k = 1; k <= r.nSparadKund; ++k) expected -= r.nAntal(a, kLev, k);
        FUZZ_CHECK(r.nAntal(a, kBest, kVan) == expected);
    }
}

void CheckAccepted(const RouteData& before, const RouteData& after, int k, const Outcome& plan) {
    FUZZ_CHECK(after.nSparadKund == k);
    FUZZ_CHECK(after.nAktKund == before.nAktKund);
    for (int a = 1; a <= after.colArtikel.Count(); ++a) {
        const auto index = static_cast<std::size_t>(a - 1);
        FUZZ_CHECK(after.nAntal(a, kLev, k) == plan.lev[index]);
        FUZZ_CHECK(after.nAntal(a, kBest, kVan) == plan.lager[index]);
    }
    // Every other cell as it was.
    RouteData restored = after;
    for (int a = 1; a <= after.colArtikel.Count(); ++a) {
        restored.nAntal(a, kLev, k) = before.nAntal(a, kLev, k);
        restored.nAntal(a, kBest, kVan) = before.nAntal(a, kBest, kVan);
    }
    restored.nSparadKund = before.nSparadKund;
    FUZZ_CHECK(SameRoute(restored, before));
    CheckStock(after);
}

void CheckRecommendations(const RouteData& before, const RouteData& after) {
    const int customers = after.colKund.Count();
    for (int a = 1; a <= after.colArtikel.Count(); ++a) {
        long orders = 0;
        long shared = 0;
        for (int k = after.nSparadKund + 1; k <= customers; ++k) {
            orders += after.nAntal(a, kBest, k);
            shared += after.nAntal(a, kRek, k);
        }
        FUZZ_CHECK(after.nAntal(a, kRek, kVan) == orders);
        for (int k = 1; k <= after.nSparadKund; ++k) {
            FUZZ_CHECK(after.nAntal(a, kRek, k) == before.nAntal(a, kRek, k));
        }
        // Each share is off by at most a half, so the total by at most half
        // the number of shares.
        if (orders > 0) {
            const long remaining = customers - after.nSparadKund;
            FUZZ_CHECK(2 * std::labs(shared - after.nAntal(a, kBest, kVan)) <= remaining);
        }
    }
}

// A customer SaveKund must turn away, if the input asks for one.
int InvalidCustomer(const RouteData& r, unsigned selector) {
    std::vector<int> choices = {0, -1, r.colKund.Count() + 1};
    if (r.nSparadKund > 1) choices.push_back(r.nSparadKund - 1);
    return choices[selector % choices.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = Split(input, '\n');
    RouteData r = MakeRoute(lines[0]);
    CheckStock(r);

    const std::size_t saves = std::min(lines.size() - 1, kMaxSaves);
    for (std::size_t i = 1; i <= saves; ++i) {
        const std::string_view line = lines[i];
        const unsigned selector = Byte(line, 0);
        std::vector<std::string> texts;
        if (line.size() > 1) {
            for (std::string_view piece : Split(line.substr(1), ';')) texts.emplace_back(piece);
        }
        const RouteData before = r;

        if (selector >= 0x80U) {
            const int k = InvalidCustomer(r, selector);
            bool thrown = false;
            try {
                route::SaveKund(r, static_cast<int16_t>(k), texts);
            } catch (const route::RouteError&) {
                thrown = true;
            }
            FUZZ_CHECK(thrown);
            FUZZ_CHECK(SameRoute(r, before));
            continue;
        }

        const int first = std::max(1, static_cast<int>(r.nSparadKund));
        const auto candidates = static_cast<unsigned>(r.colKund.Count() - first + 1);
        const int k = first + static_cast<int>(selector % candidates);
        const Outcome plan = Predict(r, k, texts);
        const auto refusal = route::SaveKund(r, static_cast<int16_t>(k), texts);
        FUZZ_CHECK(refusal.has_value() == plan.reason.has_value());
        if (refusal) {
            FUZZ_CHECK(refusal->reason == *plan.reason);
            FUZZ_CHECK(refusal->article == plan.article);
            const auto index = static_cast<std::size_t>(plan.article - 1);
            FUZZ_CHECK(refusal->text == (index < texts.size() ? texts[index] : std::string()));
            FUZZ_CHECK(SameRoute(r, before));
            continue;
        }
        CheckAccepted(before, r, k, plan);

        const RouteData saved = r;
        route::CalcRek(r);
        CheckRecommendations(saved, r);
    }
    return 0;
}
