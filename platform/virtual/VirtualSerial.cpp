// The pairs by name, the "virtual:" name space, and the control objects.
#include "platform/virtual/VirtualSerial.h"

#include "platform/virtual/PairState.h"
#include "platform/virtual/VirtualPort.h"
#include "rtl/Text.h"

#include <map>
#include <stdexcept>
#include <system_error>

namespace qvirt {

using detail::TPairState;
using qwin::DWORD;

namespace {

struct TNamedEnd {
    std::weak_ptr<TPairState> Pair;
    int Index;
};

struct TRegistry {
    std::mutex Mutex;
    std::map<std::string, TNamedEnd> Ends;
};

// Never destroyed: a pair held by a static object may outlive any static registry.
TRegistry& Registry() {
    static auto* registry = new TRegistry;
    return *registry;
}

bool HasPrefix(const std::string& name) {
    return name.rfind(DevicePrefix, 0) == 0;
}

std::shared_ptr<qwin::detail::Device> OpenByName(const std::string& deviceName) {
    const std::string name =
        HasPrefix(deviceName) ? deviceName.substr(sizeof(DevicePrefix) - 1) : deviceName;
    std::shared_ptr<TPairState> pair;
    int index = 0;
    {
        auto& registry = Registry();
        std::lock_guard lock(registry.Mutex);
        const auto it = registry.Ends.find(name);
        if (it != registry.Ends.end()) {
            pair = it->second.Pair.lock();
            index = it->second.Index;
        }
    }
    if (!pair) {
        qwin::SetLastError(qwin::ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    std::unique_lock lock(pair->Mutex);
    const auto generation = pair->OpenEnd(index);
    lock.unlock();
    if (!generation) return nullptr;
    return std::make_shared<detail::TVirtualPort>(pair, index, *generation);
}

void RegisterNamespaceOnce() {
    static std::once_flag once;
    std::call_once(once, [] { qwin::detail::RegisterNamespace(DevicePrefix, &OpenByName); });
}

void CheckName(const std::string& name) {
    if (name.empty()) throw std::invalid_argument("a virtual end needs a name");
    if (HasPrefix(name))
        throw std::invalid_argument("virtual end name '" + name + "' must not repeat the prefix");
}

} // namespace

// ---- TEnd

TEnd::TEnd(std::shared_ptr<detail::TPairState> pair, int index)
    : FPair(std::move(pair)), FIndex(index) {}

std::string TEnd::Name() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].Name;
}

qwin::string TEnd::DeviceName() const {
    return rtl::Utf8ToString(DevicePrefix + Name());
}

bool TEnd::IsOpen() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].Open;
}

void TEnd::InjectLineError(DWORD errors) {
    constexpr DWORD Known = qwin::CE_RXOVER | qwin::CE_OVERRUN | qwin::CE_RXPARITY |
                            qwin::CE_FRAME | qwin::CE_BREAK | qwin::CE_TXFULL | qwin::CE_PTO |
                            qwin::CE_IOE | qwin::CE_DNS | qwin::CE_OOP | qwin::CE_MODE;
    if (errors == 0 || (errors & ~Known))
        throw std::invalid_argument("not a set of CE_ line errors: " + std::to_string(errors));
    std::lock_guard lock(FPair->Mutex);
    FPair->LineError(FIndex, errors);
    FPair->Settle();
}

bool TEnd::AwaitPendingWait(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(FPair->Mutex);
    // Submitting a request settles the pair, which notifies Changed.
    return FPair->Changed.wait_for(lock, timeout,
                                   [&] { return FPair->Ends[FIndex].Requests.Waiting(); });
}

void TEnd::SetRing(bool on) {
    std::lock_guard lock(FPair->Mutex);
    FPair->Ends[FIndex].Ring = on;
    FPair->Settle();
}

void TEnd::PulseRing() {
    std::lock_guard lock(FPair->Mutex);
    auto& end = FPair->Ends[FIndex];
    end.Ring = true;
    FPair->Settle();
    end.Ring = false;
    FPair->Settle();
}

void TEnd::SetMaxQueueSizes(DWORD input, DWORD output) {
    std::lock_guard lock(FPair->Mutex);
    FPair->Ends[FIndex].MaxQueues = {input, output};
}

qwin::DCB TEnd::State() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].State;
}

qwin::COMMTIMEOUTS TEnd::Timeouts() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].Requests.Timeouts();
}

TQueueSizes TEnd::QueueSizes() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].Queues;
}

DWORD TEnd::EventMask() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].Requests.Mask();
}

TLineState TEnd::Lines() const {
    std::lock_guard lock(FPair->Mutex);
    return {FPair->EffectiveDtr(FIndex), FPair->EffectiveRts(FIndex),
            FPair->Ends[FIndex].Open && FPair->Ends[FIndex].Break};
}

TQueueSizes TEnd::Queued() const {
    std::lock_guard lock(FPair->Mutex);
    return {DWORD(FPair->Ends[FIndex].Input.size()), FPair->OutputCount(FIndex)};
}

TDriverCalls TEnd::Calls() const {
    std::lock_guard lock(FPair->Mutex);
    return FPair->Ends[FIndex].Calls;
}

void TEnd::ResetCalls() {
    std::lock_guard lock(FPair->Mutex);
    FPair->Ends[FIndex].Calls = {};
}

// ---- TPair

TPair::TPair(std::shared_ptr<detail::TPairState> pair) : FPair(std::move(pair)) {}

TPair::~TPair() {
    Delete();
}

TPair::TPair(TPair&& other) noexcept : FPair(std::move(other.FPair)) {}

TPair& TPair::operator=(TPair&& other) noexcept {
    if (this != &other) {
        Delete();
        FPair = std::move(other.FPair);
    }
    return *this;
}

detail::TPairState& TPair::Pair() const {
    if (!FPair) throw std::logic_error("empty virtual pair");
    return *FPair;
}

TEnd TPair::A() const {
    Pair();
    return TEnd(FPair, 0);
}

TEnd TPair::B() const {
    Pair();
    return TEnd(FPair, 1);
}

void TPair::Unplug() {
    auto& pair = Pair();
    std::lock_guard lock(pair.Mutex);
    pair.Unplug();
}

void TPair::Plug() {
    auto& pair = Pair();
    std::lock_guard lock(pair.Mutex);
    pair.Plugged = true;
}

bool TPair::Plugged() const {
    auto& pair = Pair();
    std::lock_guard lock(pair.Mutex);
    return pair.Plugged;
}

void TPair::Delete() noexcept {
    if (!FPair) return;
    {
        auto& registry = Registry();
        std::lock_guard lock(registry.Mutex);
        for (const auto& end : FPair->Ends)
            registry.Ends.erase(end.Name);
    }
    {
        std::lock_guard lock(FPair->Mutex);
        FPair->Deleted = true;
        FPair->Unplug();
    }
    FPair.reset();
}

TPair CreatePair(const std::string& nameA, const std::string& nameB) {
    CheckName(nameA);
    CheckName(nameB);
    if (nameA == nameB)
        throw std::invalid_argument("the ends of a virtual pair need distinct names");
    RegisterNamespaceOnce();
    auto& registry = Registry();
    std::lock_guard lock(registry.Mutex);
    for (const auto* name : {&nameA, &nameB})
        if (registry.Ends.count(*name))
            throw std::system_error(EEXIST, std::generic_category(),
                                    "virtual end name in use: " + *name);
    auto pair = std::make_shared<TPairState>(nameA, nameB);
    registry.Ends[nameA] = {pair, 0};
    registry.Ends[nameB] = {pair, 1};
    return TPair(pair);
}

} // namespace qvirt
