#include "platform/posix/com/wmi/query_control.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/posix/com/sim_wmi.h"
#include "platform/posix/com/wmi/repository.h"
#include "platform/posix/machine/machine.h"

namespace hostlens::sim {
namespace {

struct State {
    std::mutex mutex;
    std::map<std::u16string, HRESULT, wmi::NoCaseLess> failing;
    std::atomic<bool> anyFailing{false};  // the common case takes no lock
    std::atomic<bool> logging{false};
    std::vector<WmiQueryRecord> log;
};

State& S() {
    static State* state = new State;  // never destroyed: queries may run during static teardown
    return *state;
}

[[maybe_unused]] const bool kResetRegistered = [] {
    detail::OnReset([] {
        std::lock_guard lock(S().mutex);
        S().failing.clear();
        S().anyFailing = false;
        S().logging = false;
        S().log.clear();
    });
    return true;
}();

}  // namespace

void FailQuery(std::u16string_view className, std::int32_t error) {
    std::lock_guard lock(S().mutex);
    S().failing[std::u16string(className)] = error;
    S().anyFailing = true;
}

void StartWmiQueryLog() {
    std::lock_guard lock(S().mutex);
    S().log.clear();
    S().logging = true;
}

std::vector<WmiQueryRecord> TakeWmiQueryLog() {
    std::lock_guard lock(S().mutex);
    std::vector<WmiQueryRecord> taken;
    taken.swap(S().log);
    return taken;
}

namespace wmi {

std::optional<HRESULT> QueryFailureFor(std::u16string_view className) {
    if (!S().anyFailing.load(std::memory_order_acquire)) return std::nullopt;
    std::lock_guard lock(S().mutex);
    auto it = S().failing.find(className);
    if (it == S().failing.end()) return std::nullopt;
    return it->second;
}

void LogQuery(std::u16string_view ns, std::u16string_view wql, HRESULT result) {
    if (!S().logging.load(std::memory_order_acquire)) return;
    std::lock_guard lock(S().mutex);
    if (S().logging) S().log.push_back(WmiQueryRecord{std::u16string(ns), std::u16string(wql), result});
}

}  // namespace wmi
}  // namespace hostlens::sim
