// Feeds arbitrary text to the WQL engine as a query and as a LIKE pattern. Every
// input must get a result code (never a crash, hang or runaway allocation), and a
// successful result must be well formed.
//
// LIKE also meets long texts: the input's first line is taken as a pattern, and the
// rest as a text repeated as often as its first character says, up to 1 MiB, so that
// short inputs reach texts far longer than the fuzzer's inputs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/machine/machine.h"
#include "platform/posix/com/wmi/number.h"
#include "platform/posix/com/wmi/wql.h"
#include "platform/posix/com/wmi/wql_like.h"

namespace {

using hostlens::sim::WmiArray;
namespace cim = hostlens::sim::cim;
namespace wmi = hostlens::sim::wmi;

constexpr std::u16string_view kNamespace = u"ROOT\\CIMV2";

const wmi::Repository& Repository() {
    static wmi::Repository* repository = [] {
        auto* r = new wmi::Repository;
        r->AddNamespace(kNamespace);
        // Short class names, so that the fuzzer reaches the evaluator quickly.
        for (std::u16string_view name : {u"A", u"Win32_Gadget"}) {
            r->AddClass(kNamespace, name,
                        {{u"Name", cim::String},
                         {u"Count", cim::UInt32},
                         {u"Delta", cim::SInt64},
                         {u"Ratio", cim::Real64},
                         {u"Weight", cim::Real32},
                         {u"On", cim::Boolean},
                         {u"Made", cim::DateTime},
                         {u"Tags", cim::String | cim::Array},
                         {u"C", cim::Char16},
                         {u"X", cim::String}});
            r->AddInstance(kNamespace, name,
                           {{u"Name", u"Alpha"},
                            {u"Count", 1},
                            {u"Delta", -5},
                            {u"Ratio", 0.5},
                            {u"Weight", 0.25},
                            {u"On", true},
                            {u"Made", u"20240102030405.000000+060"},
                            {u"Tags", WmiArray{u"x"}},
                            {u"C", u"a"},
                            {u"X", u"alpha"}});
            r->AddInstance(kNamespace, name,
                           {{u"Name", std::u16string(300, u'a') + u"b"}, {u"Count", 4000000000}});
            r->AddInstance(kNamespace, name, {});
        }
        return r;
    }();
    return *repository;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr std::size_t kMaxSubject = std::size_t{1} << 20;

// The text after the first line break, repeated 1 + c*c/16 times for its first
// character c ('a': 589 times, U+0200: 16385, U+0400 and above: up to 1 MiB), so that
// most inputs stay quick and some reach the longest texts.
std::u16string Subject(std::u16string_view recipe) {
    if (recipe.empty()) return {};
    std::size_t times = 1 + std::size_t{recipe[0]} * recipe[0] / 16;
    times = std::min(times, kMaxSubject / recipe.size());
    std::u16string subject;
    subject.reserve(recipe.size() * times);
    for (std::size_t i = 0; i < times; ++i) subject += recipe;
    return subject;
}

void CheckLike(std::u16string_view pattern, const std::u16string& subject) {
    auto compiled = wmi::LikePattern::Compile(pattern);
    if (!compiled || pattern.size() + 1 > wmi::kMaxLikePattern) return;
    bool matches = compiled->Matches(subject);
    // Whatever a pattern matches, the pattern with '%' before or after it matches too.
    if (matches) {
        Check(wmi::LikePattern::Compile(u"%" + std::u16string(pattern))->Matches(subject));
        Check(wmi::LikePattern::Compile(std::u16string(pattern) + u"%")->Matches(subject));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text =
        hostlens::sim::detail::Widen(std::string_view(reinterpret_cast<const char*>(data), size));

    wmi::WqlResult syntax = wmi::CheckWqlSyntax(text);
    Check(syntax.code == 0 || syntax.code == wmi::kWbemInvalidQuery);
    Check(syntax.code == 0 || !syntax.message.empty());

    wmi::WqlResult result = wmi::ExecuteWql(Repository(), kNamespace, text);
    if (syntax.code != 0) Check(result.code == wmi::kWbemInvalidQuery);
    Check(result.code == 0 || result.code == wmi::kWbemInvalidQuery || result.code == wmi::kWbemInvalidClass);
    if (result.code == 0) {
        Check(!result.properties.empty() && result.rows.size() <= 3);
        for (const auto& row : result.rows) Check(row.size() == result.properties.size());
    } else {
        Check(result.rows.empty() && result.properties.empty() && !result.message.empty());
    }

    if (auto pattern = wmi::LikePattern::Compile(text)) {
        (void)pattern->Matches(text);
        (void)pattern->Matches(std::u16string(300, u'a') + u"b");
    }
    std::size_t lineBreak = text.find(u'\n');
    if (lineBreak != std::u16string::npos)
        CheckLike(std::u16string_view(text).substr(0, lineBreak),
                  Subject(std::u16string_view(text).substr(lineBreak + 1)));
    (void)wmi::ParseNumberText(text);
    return 0;
}
