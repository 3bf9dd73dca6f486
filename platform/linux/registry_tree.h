// The registry's contents in memory: a tree of keys under each stored root. Names keep the case
// they were created with and compare without regard to ASCII letter case, as on Windows.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/types.h"

namespace gs::platform::registry {

// Windows limits: 255 characters for a key name, 16383 for a value name, 512 levels of keys below
// a root. The depth limit also bounds the recursion of everything that walks the tree.
inline constexpr std::size_t maxKeyNameLength = 255;
inline constexpr std::size_t maxValueNameLength = 16383;
inline constexpr std::size_t maxKeyDepth = 512;

bool equalsIgnoringCase(std::string_view a, std::string_view b);

struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

struct Value {
    std::string name;  // empty: the key's default value
    DWORD type = 0;
    std::vector<BYTE> data;

    bool operator==(const Value&) const = default;
};

class Key {
public:
    using Subkeys = std::map<std::string, std::unique_ptr<Key>, CaseInsensitiveLess>;

    Key() = default;
    explicit Key(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }
    const Subkeys& subkeys() const { return subkeys_; }
    const std::vector<Value>& values() const { return values_; }

    Key* findSubkey(std::string_view name);
    const Key* findSubkey(std::string_view name) const;
    // Returns the existing subkey of that name, or a new empty one.
    Key& addSubkey(std::string_view name);
    bool removeSubkey(std::string_view name);

    const Value* findValue(std::string_view name) const;
    // Replaces the data and type of an existing value (keeping its name and position) or appends.
    void setValue(std::string_view name, DWORD type, std::vector<BYTE> data);
    bool removeValue(std::string_view name);

    bool operator==(const Key& other) const;

private:
    std::string name_;
    std::vector<Value> values_;
    Subkeys subkeys_;
};

// The roots that hold keys. HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA are not stored.
enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };
inline constexpr std::size_t rootCount = 5;

std::optional<Root> rootOfHandle(HKEY key);
HKEY handleOfRoot(Root root);
// "HKEY_LOCAL_MACHINE", as the store file names it.
std::string_view rootName(Root root);
// Accepts the long names and the short forms "HKLM", "HKCR", ... in any letter case.
std::optional<Root> parseRootName(std::string_view name);

struct Tree {
    std::array<Key, rootCount> roots;

    Key& root(Root r) { return roots[static_cast<std::size_t>(r)]; }
    const Key& root(Root r) const { return roots[static_cast<std::size_t>(r)]; }

    // The key at a path of names below a root, or null.
    Key* find(Root r, const std::vector<std::string>& path);
    const Key* find(Root r, const std::vector<std::string>& path) const;

    bool operator==(const Tree&) const = default;
};

}  // namespace gs::platform::registry
