// The machine: facts, drive folders, fault injection and resource counts.
#include "platform/posix/machine/machine.h"

#include <array>
#include <map>
#include <memory>
#include <shared_mutex>
#include <unordered_map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace hostlens::sim {
namespace {

struct FaultPlan {
    unsigned remainingBefore = 0;  // calls to let through before failing
    unsigned times = 0;            // calls to fail after that
    std::uint32_t error = 0;
};

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

struct State {
    std::mutex mutex;
    Facts facts;
    std::map<char, std::filesystem::path> drives;
    std::map<std::string, FaultPlan, std::less<>> faults;
    // Faults armed and not used up: while there are none, a call only counts itself.
    std::atomic<std::size_t> armed{0};
    // Calls per function. Every emulated call counts itself here, so the common path
    // takes the lock shared and bumps an atomic counter.
    std::shared_mutex callsMutex;
    std::unordered_map<std::string, std::unique_ptr<std::atomic<unsigned>>, TextHash, std::equal_to<>> calls;
    std::vector<std::function<void()>> resetHooks;
    // The calls since the mark, while recording.
    std::mutex recordMutex;
    std::atomic<bool> recording{false};
    std::vector<RecordedCall> recorded;
    std::unordered_map<std::string, unsigned, TextHash, std::equal_to<>> recordedCounts;
    std::atomic<unsigned> injected{0};
};

State& S() {
    static State* state = new State;  // never destroyed: emulated calls may run during static teardown
    return *state;
}

std::array<std::atomic<long>, 6>& Counters() {
    static std::array<std::atomic<long>, 6> counters{};
    return counters;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

void ResetMachine(const std::filesystem::path& driveC) {
    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard lock(S().mutex);
        S().facts = Facts{};
        S().drives.clear();
        if (!driveC.empty()) S().drives['C'] = driveC;
        S().faults.clear();
        S().armed = 0;
        // Counters are zeroed, never freed: callers' caches keep pointing at them.
        std::unique_lock callsLock(S().callsMutex);
        for (auto& [name, counter] : S().calls) *counter = 0;
        hooks = S().resetHooks;
    }
    {
        std::lock_guard lock(S().recordMutex);
        S().recording = false;
        S().recorded.clear();
        S().recordedCounts.clear();
        S().injected = 0;
    }
    for (auto& hook : hooks) hook();
}

Facts& MachineFacts() {
    return S().facts;
}

void SetDriveFolder(char drive, const std::filesystem::path& folder) {
    std::lock_guard lock(S().mutex);
    S().drives[Upper(drive)] = folder;
}

std::optional<std::filesystem::path> DriveFolder(char drive) {
    std::lock_guard lock(S().mutex);
    auto it = S().drives.find(Upper(drive));
    if (it == S().drives.end()) return std::nullopt;
    return it->second;
}

void FailCall(std::string_view function, unsigned occurrence, std::uint32_t error, unsigned times) {
    std::lock_guard lock(S().mutex);
    S().faults[std::string(function)] = FaultPlan{occurrence == 0 ? 0 : occurrence - 1, times, error};
    S().armed = S().faults.size();
}

void ClearFaults() {
    std::lock_guard lock(S().mutex);
    S().faults.clear();
    S().armed = 0;
}

unsigned CallCount(std::string_view function) {
    std::shared_lock lock(S().callsMutex);
    auto it = S().calls.find(function);
    return it == S().calls.end() ? 0 : it->second->load();
}

void MarkCalls() {
    std::lock_guard lock(S().recordMutex);
    S().recorded.clear();
    S().recordedCounts.clear();
    S().injected = 0;
    S().recording = true;
}

std::vector<RecordedCall> CallsSinceMark() {
    std::lock_guard lock(S().recordMutex);
    return S().recorded;
}

unsigned FaultsInjectedSinceMark() {
    return S().injected.load();
}

OpenCounts Open() {
    auto& c = Counters();
    OpenCounts counts;
    counts.keys = c[0].load();
    counts.handles = c[1].load();
    counts.modules = c[2].load();
    counts.comObjects = c[3].load();
    counts.bstrs = c[4].load();
    counts.safeArrays = c[5].load();
    return counts;
}

std::string Describe(const OpenCounts& counts) {
    std::ostringstream out;
    out << "keys " << counts.keys << ", handles " << counts.handles << ", modules " << counts.modules
        << ", COM objects " << counts.comObjects << ", BSTRs " << counts.bstrs << ", SAFEARRAYs "
        << counts.safeArrays;
    return out.str();
}

namespace detail {

void OnReset(std::function<void()> reset) {
    std::lock_guard lock(S().mutex);
    S().resetHooks.push_back(std::move(reset));
}

namespace {

// The call counter of a function. Every emulated call counts itself, so a small cache
// per thread maps the call site's name to its counter without taking a lock.
std::atomic<unsigned>& CounterFor(std::string_view function) {
    struct Entry {
        const char* data = nullptr;
        std::string_view name;  // the counter's own key, which lives as long as the process
        std::atomic<unsigned>* counter = nullptr;
    };
    thread_local Entry cache[64];
    Entry& entry = cache[(reinterpret_cast<std::uintptr_t>(function.data()) >> 3) & 63];
    if (entry.data == function.data() && entry.name == function) return *entry.counter;
    std::unique_lock lock(S().callsMutex);
    auto it = S().calls.find(function);
    if (it == S().calls.end())
        it = S().calls.emplace(std::string(function), std::make_unique<std::atomic<unsigned>>(0)).first;
    entry = Entry{function.data(), it->first, it->second.get()};
    return *it->second;
}

}  // namespace

namespace {

void Record(std::string_view function) {
    std::lock_guard lock(S().recordMutex);
    if (!S().recording) return;
    auto it = S().recordedCounts.find(function);
    if (it == S().recordedCounts.end()) it = S().recordedCounts.emplace(std::string(function), 0).first;
    S().recorded.push_back(RecordedCall{it->first, ++it->second});
}

}  // namespace

std::optional<std::uint32_t> Fault(std::string_view function) {
    ++CounterFor(function);
    if (S().recording.load(std::memory_order_acquire)) Record(function);
    if (S().armed.load(std::memory_order_acquire) == 0) return std::nullopt;
    std::lock_guard lock(S().mutex);
    auto it = S().faults.find(function);
    if (it == S().faults.end()) return std::nullopt;
    FaultPlan& plan = it->second;
    if (plan.remainingBefore > 0) {
        --plan.remainingBefore;
        return std::nullopt;
    }
    if (plan.times == 0) return std::nullopt;
    --plan.times;
    ++S().injected;
    return plan.error;
}

void Opened(Resource resource) {
    ++Counters()[static_cast<std::size_t>(resource)];
}

void Closed(Resource resource) {
    --Counters()[static_cast<std::size_t>(resource)];
}

std::optional<std::filesystem::path> HostPath(std::u16string_view windowsPath) {
    if (windowsPath.size() < 3 || windowsPath[1] != u':' ||
        (windowsPath[2] != u'\\' && windowsPath[2] != u'/'))
        return std::nullopt;
    auto root = DriveFolder(static_cast<char>(windowsPath[0] & 0x7F));
    if (!root) return std::nullopt;
    std::filesystem::path path = *root;
    std::u16string_view rest = windowsPath.substr(3);
    while (!rest.empty()) {
        std::size_t end = rest.find_first_of(u"\\/");
        std::u16string_view component = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view{} : rest.substr(end + 1);
        if (component.empty() || component == u".") continue;
        if (component == u"..") {
            if (path != *root) path = path.parent_path();
            continue;
        }
        std::string name = Narrow(component);
        std::filesystem::path exact = path / name;
        std::error_code ec;
        if (!std::filesystem::exists(exact, ec) && std::filesystem::is_directory(path, ec)) {
            // Windows file names compare without case: look for a differently cased entry.
            for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
                std::string candidate = entry.path().filename().string();
                if (CompareNoCase(Widen(candidate), component) == 0) {
                    exact = entry.path();
                    break;
                }
            }
        }
        path = exact;
    }
    return path;
}

std::string Narrow(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf8(text, false, out);
    return out;
}

bool AppendUtf8(std::u16string_view text, bool strict, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) return false;
            c = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

std::u16string Widen(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 1) {
            c = b;
        } else if (n > 1 && i + n <= text.size()) {
            c = b & (0xFF >> (n + 1));
            bool ok = true;
            for (std::size_t k = 1; k < n; ++k) {
                auto cont = static_cast<unsigned char>(text[i + k]);
                if ((cont & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                c = (c << 6) | (cont & 0x3F);
            }
            if (!ok) {
                c = 0xFFFD;
                n = 1;
            }
        } else {
            n = 1;  // a stray byte becomes one replacement character
        }
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::size_t NoCaseHash::operator()(std::u16string_view name) const {
    // FNV-1a over the upper-cased characters.
    std::uint64_t hash = 14695981039346656037ULL;
    for (char16_t c : name) hash = (hash ^ Upcase(c)) * 1099511628211ULL;
    return static_cast<std::size_t>(hash);
}

}  // namespace detail
}  // namespace hostlens::sim
