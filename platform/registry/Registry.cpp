#include "platform/Registry.h"

#include "platform/DeviceEnum.h"

#include <mutex>

namespace qwin {

namespace {

std::mutex g_sourceMutex;
TRegistrySource g_source;

char16_t Fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
}

bool SameName(const string& a, const string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::vector<string> SplitPath(const string& path) {
    std::vector<string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

const TRegKey* FindSubkey(const TRegKey& key, const string& name) {
    for (const auto& sub : key.Subkeys)
        if (SameName(sub.Name, name)) return &sub;
    return nullptr;
}

} // namespace

TRegKey& TRegKey::Subkey(const string& name) {
    for (auto& sub : Subkeys)
        if (SameName(sub.Name, name)) return sub;
    Subkeys.push_back(TRegKey{name, {}, {}});
    return Subkeys.back();
}

void TRegKey::Add(const string& name, DWORD type, const string& data) {
    Values.push_back(TRegValue{name, type, data});
}

void SetRegistrySource(TRegistrySource source) {
    std::lock_guard lock(g_sourceMutex);
    g_source = std::move(source);
}

TRegistry::TRegistry(DWORD access) {
    if (access != KEY_READ) throw ERegistryException("The registry is read-only");
    TRegistrySource source;
    {
        std::lock_guard lock(g_sourceMutex);
        source = g_source;
    }
    FMachine = source ? source() : SerialRegistryFromSystem(SystemRoot());
}

void TRegistry::SetRootKey(HKEY key) {
    if (key == FRootKey) return;
    CloseKey();
    FRootKey = key;
}

bool TRegistry::OpenKeyReadOnly(const string& key) {
    if (FRootKey != HKEY_LOCAL_MACHINE) return false;
    const bool absolute = !key.empty() && key[0] == u'\\';
    std::vector<string> path = absolute || !FCurrentKey ? std::vector<string>() : FCurrentPath;
    const TRegKey* node = &FMachine;
    for (const auto& part : path)
        node = FindSubkey(*node, part);
    for (const auto& part : SplitPath(key)) {
        node = FindSubkey(*node, part);
        if (!node) return false;
        path.push_back(node->Name);
    }
    FCurrentKey = node;
    FCurrentPath = std::move(path);
    return true;
}

void TRegistry::CloseKey() {
    FCurrentKey = nullptr;
    FCurrentPath.clear();
}

void TRegistry::GetValueNames(rtl::TStrings& list) const {
    list.Clear();
    if (!FCurrentKey) return;
    for (const auto& v : FCurrentKey->Values)
        list.Add(v.Name);
}

void TRegistry::GetKeyNames(rtl::TStrings& list) const {
    list.Clear();
    if (!FCurrentKey) return;
    for (const auto& k : FCurrentKey->Subkeys)
        list.Add(k.Name);
}

const TRegValue* TRegistry::FindValue(const string& name) const {
    if (!FCurrentKey) return nullptr;
    for (const auto& v : FCurrentKey->Values)
        if (SameName(v.Name, name)) return &v;
    return nullptr;
}

TRegDataType TRegistry::GetDataType(const string& name) const {
    const TRegValue* v = FindValue(name);
    if (!v) return rdUnknown;
    switch (v->Type) {
    case REG_SZ:
        return rdString;
    case REG_EXPAND_SZ:
        return rdExpandString;
    case REG_DWORD:
        return rdInteger;
    case REG_BINARY:
        return rdBinary;
    default:
        return rdUnknown;
    }
}

bool TRegistry::ValueExists(const string& name) const {
    return FindValue(name) != nullptr;
}

string TRegistry::ReadString(const string& name) const {
    const TRegValue* v = FindValue(name);
    if (!v) return {};
    if (v->Type != REG_SZ && v->Type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + rtl::StringToUtf8(name) + "'");
    return v->Data;
}

} // namespace qwin
