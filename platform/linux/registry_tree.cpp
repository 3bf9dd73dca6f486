#include "platform/linux/registry_tree.h"

#include <algorithm>

#include "platform/linux/registry.h"

namespace gs::platform::registry {

namespace {

char foldCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

struct RootNames {
    Root root;
    HKEY (*handle)();
    std::string_view longName;
    std::string_view shortName;
};

const RootNames rootNames[rootCount] = {
    {Root::ClassesRoot, [] { return HKEY_CLASSES_ROOT; }, "HKEY_CLASSES_ROOT", "HKCR"},
    {Root::CurrentUser, [] { return HKEY_CURRENT_USER; }, "HKEY_CURRENT_USER", "HKCU"},
    {Root::LocalMachine, [] { return HKEY_LOCAL_MACHINE; }, "HKEY_LOCAL_MACHINE", "HKLM"},
    {Root::Users, [] { return HKEY_USERS; }, "HKEY_USERS", "HKU"},
    {Root::CurrentConfig, [] { return HKEY_CURRENT_CONFIG; }, "HKEY_CURRENT_CONFIG", "HKCC"},
};

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldCase(x) == foldCase(y);
           });
}

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(foldCase(x)) < static_cast<unsigned char>(foldCase(y));
    });
}

Key* Key::findSubkey(std::string_view name) {
    auto found = subkeys_.find(name);
    return found == subkeys_.end() ? nullptr : found->second.get();
}

const Key* Key::findSubkey(std::string_view name) const {
    auto found = subkeys_.find(name);
    return found == subkeys_.end() ? nullptr : found->second.get();
}

Key& Key::addSubkey(std::string_view name) {
    if (Key* existing = findSubkey(name)) {
        return *existing;
    }
    std::string owned(name);
    auto key = std::make_unique<Key>(owned);
    Key& added = *key;
    subkeys_.emplace(std::move(owned), std::move(key));
    return added;
}

bool Key::removeSubkey(std::string_view name) {
    auto found = subkeys_.find(name);
    if (found == subkeys_.end()) {
        return false;
    }
    subkeys_.erase(found);
    return true;
}

const Value* Key::findValue(std::string_view name) const {
    auto found = std::find_if(values_.begin(), values_.end(),
                              [&](const Value& v) { return equalsIgnoringCase(v.name, name); });
    return found == values_.end() ? nullptr : &*found;
}

void Key::setValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
    if (const Value* existing = findValue(name)) {
        Value& value = values_[static_cast<std::size_t>(existing - values_.data())];
        value.type = type;
        value.data = std::move(data);
        return;
    }
    values_.push_back(Value{std::string(name), type, std::move(data)});
}

bool Key::removeValue(std::string_view name) {
    auto found = std::find_if(values_.begin(), values_.end(),
                              [&](const Value& v) { return equalsIgnoringCase(v.name, name); });
    if (found == values_.end()) {
        return false;
    }
    values_.erase(found);
    return true;
}

bool Key::operator==(const Key& other) const {
    if (name_ != other.name_ || values_ != other.values_ ||
        subkeys_.size() != other.subkeys_.size()) {
        return false;
    }
    return std::equal(subkeys_.begin(), subkeys_.end(), other.subkeys_.begin(),
                      [](const auto& a, const auto& b) { return *a.second == *b.second; });
}

std::optional<Root> rootOfHandle(HKEY key) {
    for (const RootNames& names : rootNames) {
        if (names.handle() == key) {
            return names.root;
        }
    }
    return std::nullopt;
}

HKEY handleOfRoot(Root root) {
    return rootNames[static_cast<std::size_t>(root)].handle();
}

std::string_view rootName(Root root) {
    return rootNames[static_cast<std::size_t>(root)].longName;
}

std::optional<Root> parseRootName(std::string_view name) {
    for (const RootNames& names : rootNames) {
        if (equalsIgnoringCase(name, names.longName) || equalsIgnoringCase(name, names.shortName)) {
            return names.root;
        }
    }
    return std::nullopt;
}

Key* Tree::find(Root r, const std::vector<std::string>& path) {
    Key* key = &root(r);
    for (const std::string& name : path) {
        key = key->findSubkey(name);
        if (!key) {
            return nullptr;
        }
    }
    return key;
}

const Key* Tree::find(Root r, const std::vector<std::string>& path) const {
    return const_cast<Tree*>(this)->find(r, path);
}

}  // namespace gs::platform::registry
