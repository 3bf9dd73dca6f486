#include "host/staged_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <system_error>
#include <vector>

#include "host/host_error.h"

namespace gs::host {

namespace fs = std::filesystem;

namespace {

// The permissions a newly created file or folder would get from the user's umask; mkstemp and
// mkdtemp create private ones, which must not survive into the published output.
mode_t publishedMode(mode_t requested) {
    static const mode_t mask = [] {
        const mode_t current = umask(0);
        umask(current);
        return current;
    }();
    return requested & ~mask;
}

fs::path folderOf(const fs::path& path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Removes a path final component's trailing slash: "frames/" names the folder "frames".
fs::path withoutTrailingSlash(fs::path path) {
    while (!path.empty() && !path.has_filename() && path.has_parent_path() &&
           path != path.root_path()) {
        path = path.parent_path();
    }
    return path;
}

}  // namespace

StagedFile::StagedFile(fs::path finalPath) : final_(std::move(finalPath)) {
    std::error_code error;
    if (fs::is_directory(final_, error)) {
        throw HostError("cannot write " + quoted(final_) + ": it is a folder");
    }
    std::string pattern =
        (folderOf(final_) / ("." + final_.filename().string() + ".partial-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        throw HostError("cannot write " + quoted(final_) + ": " + std::strerror(errno));
    }
    fchmod(descriptor, publishedMode(0666));
    close(descriptor);
    staging_ = name.data();
}

StagedFile::~StagedFile() {
    if (!committed_) {
        std::error_code ignored;
        fs::remove(staging_, ignored);
    }
}

void StagedFile::commit() {
    if (std::rename(staging_.c_str(), final_.c_str()) != 0) {
        throw HostError("cannot write " + quoted(final_) + ": " + std::strerror(errno));
    }
    committed_ = true;
}

StagedFolder::StagedFolder(fs::path finalPath)
    : final_(withoutTrailingSlash(std::move(finalPath))) {
    std::error_code error;
    if (fs::exists(final_, error) && !fs::is_directory(final_, error)) {
        throw HostError("cannot write frames into " + quoted(final_) + ": it is not a folder");
    }
    const fs::path parent = folderOf(final_);
    fs::create_directories(parent, error);
    if (error) {
        throw HostError("cannot create " + quoted(parent) + ": " + error.message());
    }
    std::string pattern =
        (parent / ("." + final_.filename().string() + ".partial-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        throw HostError("cannot write frames into " + quoted(final_) + ": " + std::strerror(errno));
    }
    staging_ = name.data();
    chmod(staging_.c_str(), publishedMode(0777));
}

StagedFolder::~StagedFolder() {
    if (!committed_) {
        std::error_code ignored;
        fs::remove_all(staging_, ignored);
    }
}

std::string StagedFolder::frameName(long long index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", index);
    return name;
}

void StagedFolder::commit(long long frameCount) {
    std::error_code error;
    if (!fs::exists(final_, error)) {
        if (std::rename(staging_.c_str(), final_.c_str()) != 0) {
            throw HostError("cannot write frames into " + quoted(final_) + ": " +
                            std::strerror(errno));
        }
        committed_ = true;
        return;
    }
    for (long long index = 0; index < frameCount; ++index) {
        const std::string name = frameName(index);
        if (std::rename((staging_ / name).c_str(), (final_ / name).c_str()) != 0) {
            throw HostError("cannot write " + quoted(final_ / name) + ": " + std::strerror(errno));
        }
    }
    // Frames beyond this render's count are what an earlier, longer render left.
    static const std::regex kFramePattern("frame-([0-9]{6,18})\\.png");
    for (const fs::directory_entry& entry : fs::directory_iterator(final_, error)) {
        std::smatch match;
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, match, kFramePattern) && std::stoll(match[1]) >= frameCount) {
            fs::remove(entry.path(), error);
        }
    }
    committed_ = true;
    fs::remove_all(staging_, error);
}

}  // namespace gs::host
