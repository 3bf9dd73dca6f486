#include "platform/linux/registry_access.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/linux/registry_testing.h"

namespace gs::platform::registry {

namespace {

struct DeniedPath {
    Root root;
    std::vector<std::string> path;
};

std::mutex testingMutex;
std::vector<DeniedPath> deniedByTests;

std::optional<DeniedPath> parseDeniedPath(std::string_view text) {
    std::vector<std::string> names;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t end = std::min(text.find('\\', begin), text.size());
        if (end > begin) {
            names.emplace_back(text.substr(begin, end - begin));
        }
        begin = end + 1;
    }
    if (names.empty()) {
        return std::nullopt;
    }
    const auto root = parseRootName(names.front());
    if (!root) {
        return std::nullopt;
    }
    names.erase(names.begin());
    return DeniedPath{*root, std::move(names)};
}

bool covers(const DeniedPath& denied, Root root, const std::vector<std::string>& path) {
    return denied.root == root && denied.path.size() <= path.size() &&
           std::equal(
               denied.path.begin(), denied.path.end(), path.begin(),
               [](const std::string& a, const std::string& b) { return equalsIgnoringCase(a, b); });
}

}  // namespace

bool isWriteDenied(Root root, const std::vector<std::string>& path) {
    if (const char* list = std::getenv("GLIMMERSTRAND_REGISTRY_DENY")) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find(';'), rest.size());
            const auto denied = parseDeniedPath(rest.substr(0, end));
            if (denied && covers(*denied, root, path)) {
                return true;
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    std::lock_guard lock(testingMutex);
    return std::any_of(deniedByTests.begin(), deniedByTests.end(),
                       [&](const DeniedPath& denied) { return covers(denied, root, path); });
}

namespace testing {

void denyWrites(const char* keyPath) {
    if (!keyPath) {
        return;
    }
    if (auto denied = parseDeniedPath(keyPath)) {
        std::lock_guard lock(testingMutex);
        deniedByTests.push_back(std::move(*denied));
    }
}

void allowWrites() {
    std::lock_guard lock(testingMutex);
    deniedByTests.clear();
}

}  // namespace testing

}  // namespace gs::platform::registry
