// Default configurations and the configuration dialog. An open device answers through
// its own handle; a closed one is never opened for this (opening a tty pulses DTR and
// RTS, which resets many boards), so its default lives in a per-process store.
#include "platform/DeviceNames.h"

#include <map>
#include <mutex>

namespace qwin {

namespace {

constexpr DWORD PST_RS232 = 1;

struct Store {
    std::mutex mu;
    std::map<std::string, DCB> defaults;
    CommConfigDialogProvider dialog;
};

Store& store() {
    static Store s;
    return s;
}

DCB SeedDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

// A closed device must exist, and be a device, to have a default; the check never opens it.
DWORD CheckClosed(const std::string& path, DCB& seed) {
    return detail::NamespaceOpener(path) ? 0 : detail::CheckClosedDevice(path, seed);
}

} // namespace

BOOL GetDefaultCommConfig(const string& name, COMMCONFIG* cc, DWORD* size) {
    if (!cc || !size) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (*size < sizeof(COMMCONFIG)) {
        *size = sizeof(COMMCONFIG);
        return detail::Fail(ERANGE);
    }
    const std::string path = detail::NormaliseDeviceName(name);
    if (path.empty()) return detail::Fail(ERROR_FILE_NOT_FOUND);
    const std::string key = detail::DeviceKey(path);
    DCB dcb;
    if (auto dev = detail::FindOpenDevice(key)) {
        dcb = {};
        dcb.DCBlength = sizeof(DCB);
        if (!dev->GetState(dcb)) return FALSE;
    } else {
        DCB seed = SeedDcb();
        if (DWORD err = CheckClosed(path, seed)) return detail::Fail(err);
        Store& s = store();
        std::lock_guard lock(s.mu);
        auto it = s.defaults.find(key);
        dcb = it != s.defaults.end() ? it->second : seed;
    }
    *cc = {};
    cc->dwSize = sizeof(COMMCONFIG);
    cc->wVersion = 1;
    cc->dcb = dcb;
    cc->dwProviderSubType = PST_RS232;
    *size = sizeof(COMMCONFIG);
    return TRUE;
}

BOOL SetDefaultCommConfig(const string& name, const COMMCONFIG* cc, DWORD size) {
    if (!cc || size < sizeof(COMMCONFIG)) return detail::Fail(ERROR_INVALID_PARAMETER);
    const std::string path = detail::NormaliseDeviceName(name);
    if (path.empty()) return detail::Fail(ERROR_FILE_NOT_FOUND);
    const std::string key = detail::DeviceKey(path);
    if (auto dev = detail::FindOpenDevice(key)) {
        // The device checks the record; only what it took becomes the default.
        if (!dev->SetState(cc->dcb)) return FALSE;
    } else if (DCB seed{}; DWORD err = CheckClosed(path, seed)) {
        return detail::Fail(err);
    } else if (cc->dcb.BaudRate == 0 || cc->dcb.ByteSize < 5 || cc->dcb.ByteSize > 8 ||
               cc->dcb.Parity > SPACEPARITY || cc->dcb.StopBits > TWOSTOPBITS) {
        return detail::Fail(ERROR_INVALID_PARAMETER);
    }
    Store& s = store();
    std::lock_guard lock(s.mu);
    s.defaults[key] = cc->dcb;
    return TRUE;
}

BOOL CommConfigDialog(const string& name, HWND owner, COMMCONFIG* cc) {
    if (!cc) return detail::Fail(ERROR_INVALID_PARAMETER);
    CommConfigDialogProvider dialog;
    {
        Store& s = store();
        std::lock_guard lock(s.mu);
        dialog = s.dialog;
    }
    if (!dialog) return detail::SystemConfigDialog(name, owner, *cc);
    // The dialog edits a copy, so a cancelled one leaves the caller's record as it was.
    COMMCONFIG edited = *cc;
    if (!dialog(name, edited)) return detail::Fail(ERROR_CANCELLED);
    *cc = edited;
    return TRUE;
}

void SetCommConfigDialogProvider(CommConfigDialogProvider provider) {
    Store& s = store();
    std::lock_guard lock(s.mu);
    s.dialog = std::move(provider);
}

} // namespace qwin
