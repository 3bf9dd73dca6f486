#include "platform/linux/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/linux/registry_format.h"
#include "platform/linux/registry_testing.h"

namespace gs::platform::registry {

namespace {

std::mutex testingMutex;
std::string storeForTests;
void (*writeStageHook)(testing::WriteStage) = nullptr;
std::atomic<bool> syncToDisk{true};

void reachStage(testing::WriteStage stage) {
    void (*hook)(testing::WriteStage);
    {
        std::lock_guard lock(testingMutex);
        hook = writeStageHook;
    }
    if (hook) {
        hook(stage);
    }
}

std::string nonEmptyEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string homeDirectory() {
    std::string home = nonEmptyEnvironment("HOME");
    if (!home.empty()) {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid())) {
        if (entry->pw_dir) {
            return entry->pw_dir;
        }
    }
    return {};
}

LSTATUS readError(int error) {
    return error == EACCES || error == EPERM ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
}

LSTATUS writeError(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        default:
            return ERROR_CANTWRITE;
    }
}

// mkdir -p for the folder that holds the store.
int makeDirectories(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return 0;
    }
    const std::string folder = file.substr(0, slash);
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    }
    if (const int error = makeDirectories(folder)) {
        return error;
    }
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        return errno;
    }
    return 0;
}

int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int readAll(int fd, std::string& text) {
    text.clear();
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = pread(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

int syncFolderOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    return error;
}

class LockFile {
public:
    explicit LockFile(const std::string& store) {
        fd_ = open((store + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                return;
            }
        }
    }
    ~LockFile() {
        if (fd_ >= 0) {
            close(fd_);  // releases the lock
        }
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace

std::string storePath() {
    {
        std::lock_guard lock(testingMutex);
        if (!storeForTests.empty()) {
            return storeForTests;
        }
    }
    std::string path = nonEmptyEnvironment("GLIMMERSTRAND_REGISTRY");
    if (!path.empty()) {
        return path;
    }
    std::string config = nonEmptyEnvironment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        const std::string home = homeDirectory();
        if (home.empty()) {
            return {};
        }
        config = home + "/.config";
    }
    return config + "/glimmerstrand/registry";
}

Store& Store::instance() {
    static Store store;
    return store;
}

LSTATUS Store::read(const std::function<LSTATUS(const Tree&)>& work) {
    std::lock_guard lock(mutex_);
    const std::string path = storePath();
    if (path.empty()) {
        return ERROR_CANTREAD;
    }
    if (const LSTATUS status = refresh(path, false); status != ERROR_SUCCESS) {
        return status;
    }
    return work(tree_);
}

LSTATUS Store::write(const std::function<LSTATUS(Tree&, bool& changed)>& work) {
    std::lock_guard lock(mutex_);
    const std::string path = storePath();
    if (path.empty()) {
        return ERROR_CANTWRITE;
    }
    if (const int error = makeDirectories(path)) {
        return writeError(error);
    }
    LockFile writerLock(path);
    if (writerLock.error()) {
        return writeError(writerLock.error());
    }
    LSTATUS status = refresh(path, false);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    bool changed = false;
    status = work(tree_, changed);
    if (changed) {
        if (status == ERROR_SUCCESS) {
            status = persist(path);
        }
        if (status != ERROR_SUCCESS) {
            forget();  // the file still holds the previous version; read it again next time
        }
    }
    return status;
}

bool Store::fileMatchesSnapshot() {
    std::lock_guard lock(mutex_);
    const std::string path = storePath();
    if (path.empty() || refresh(path, false) != ERROR_SUCCESS) {
        return false;
    }
    if (snapshotFd_ < 0) {
        return tree_ == Tree{};
    }
    std::string text;
    Tree reread;
    FormatError error;
    return readAll(snapshotFd_, text) == 0 && parseStore(text, reread, error) && reread == tree_;
}

void Store::forget() {
    if (snapshotFd_ >= 0) {
        close(snapshotFd_);
    }
    snapshotFd_ = -1;
    snapshotPath_.clear();
    corrupt_ = false;
    tree_ = Tree{};
}

LSTATUS Store::refresh(const std::string& path, bool force) {
    if (snapshotPath_ != path || force) {
        forget();
    }
    // The file can vanish between stat and open only when someone deletes it; then look again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat now {};
        if (stat(path.c_str(), &now) != 0) {
            if (errno != ENOENT) {
                return readError(errno);
            }
            if (snapshotFd_ >= 0 || snapshotPath_.empty()) {
                forget();
                snapshotPath_ = path;
            }
            return ERROR_SUCCESS;
        }
        struct stat held {};
        if (snapshotFd_ >= 0 && fstat(snapshotFd_, &held) == 0 && held.st_dev == now.st_dev &&
            held.st_ino == now.st_ino && now.st_size == snapshotSize_ &&
            now.st_mtim.tv_sec == snapshotModified_.tv_sec &&
            now.st_mtim.tv_nsec == snapshotModified_.tv_nsec) {
            return corrupt_ ? ERROR_REGISTRY_CORRUPT : ERROR_SUCCESS;
        }
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) {
                continue;
            }
            return readError(errno);
        }
        forget();
        hold(fd);  // before reading, so that a change made meanwhile is noticed next time
        std::string text;
        if (const int error = readAll(fd, text)) {
            forget();
            return readError(error);
        }
        snapshotPath_ = path;
        FormatError error;
        if (!parseStore(text, tree_, error)) {
            corrupt_ = true;
            std::fprintf(stderr,
                         "glimmerstrand: the registry store %s cannot be read (line %zu: %s); it "
                         "is left as it is and registry calls fail until it is repaired or "
                         "removed\n",
                         path.c_str(), error.line, error.message.c_str());
            return ERROR_REGISTRY_CORRUPT;
        }
        return ERROR_SUCCESS;
    }
    return ERROR_CANTREAD;
}

LSTATUS Store::persist(const std::string& path) {
    reachStage(testing::WriteStage::Locked);
    const std::string text = formatStore(tree_);
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return writeError(errno);
    }
    const std::size_t half = text.size() / 2;
    int error = writeAll(fd, std::string_view(text).substr(0, half));
    if (!error) {
        reachStage(testing::WriteStage::HalfWritten);
        error = writeAll(fd, std::string_view(text).substr(half));
    }
    if (!error) {
        reachStage(testing::WriteStage::Written);
        error = !syncToDisk.load() || fsync(fd) == 0 ? 0 : errno;
    }
    if (!error) {
        reachStage(testing::WriteStage::Synced);
        error = rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
    }
    if (error) {
        close(fd);
        unlink(temporary.c_str());
        return writeError(error);
    }
    // The rename is durable once the folder is flushed; the new version is in place either way.
    if (syncToDisk.load()) {
        syncFolderOf(path);
    }
    reachStage(testing::WriteStage::Renamed);
    hold(fd);
    snapshotPath_ = path;
    corrupt_ = false;
    return ERROR_SUCCESS;
}

void Store::hold(int fd) {
    if (snapshotFd_ >= 0) {
        close(snapshotFd_);
    }
    snapshotFd_ = fd;
    struct stat info {};
    fstat(fd, &info);
    snapshotModified_ = info.st_mtim;
    snapshotSize_ = info.st_size;
}

namespace testing {

void useStore(const char* path) {
    std::lock_guard lock(testingMutex);
    storeForTests = path ? path : "";
}

bool storeFileMatchesSnapshot() {
    return Store::instance().fileMatchesSnapshot();
}

void syncWrites(bool sync) {
    syncToDisk.store(sync);
}

void onWriteStage(void (*hook)(WriteStage stage)) {
    std::lock_guard lock(testingMutex);
    writeStageHook = hook;
}

}  // namespace testing

}  // namespace gs::platform::registry
