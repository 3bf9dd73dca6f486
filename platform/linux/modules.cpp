// Module handles over the dynamic loader, and modules read as data files.
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/detail/modules.h"
#include "platform/linux/module.h"
#include "platform/linux/strings.h"

namespace gs::platform::detail {
namespace {

// One object of the dynamic loader's list, as dl_iterate_phdr describes it.
struct Image {
    HMODULE handle = nullptr;
    bool isMainProgram = false;
    const char* loaderName = nullptr;  // as the loader knows it; "" for the main program
    const ElfW(Phdr) * segments = nullptr;
    ElfW(Half) segmentCount = 0;
    ElfW(Addr) bias = 0;
};

// The address of the mapped ELF header: the segment that maps file offset 0.
HMODULE baseOf(const dl_phdr_info& info) {
    for (ElfW(Half) i = 0; i < info.dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info.dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && segment.p_offset == 0) {
            return reinterpret_cast<HMODULE>(info.dlpi_addr + segment.p_vaddr);
        }
    }
    return nullptr;
}

// Calls visit(image) for each loaded object until it returns true; returns whether one did.
template <typename Visit>
bool findImage(Visit visit) {
    struct Context {
        Visit* visit;
        bool first;
        bool found;
    } context{&visit, true, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto& ctx = *static_cast<Context*>(data);
            Image image;
            image.handle = baseOf(*info);
            image.isMainProgram = ctx.first;
            image.loaderName = info->dlpi_name != nullptr ? info->dlpi_name : "";
            image.segments = info->dlpi_phdr;
            image.segmentCount = info->dlpi_phnum;
            image.bias = info->dlpi_addr;
            ctx.first = false;
            if (image.handle != nullptr && (*ctx.visit)(image)) {
                ctx.found = true;
                return 1;
            }
            return 0;
        },
        &context);
    return context.found;
}

std::string mainProgramPath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// The file an image came from, as an absolute path.
std::string pathOf(const Image& image) {
    if (image.isMainProgram) {
        return mainProgramPath();
    }
    std::string name = image.loaderName;
    if (!name.empty() && name[0] != '/') {
        char resolved[PATH_MAX];
        if (realpath(name.c_str(), resolved) != nullptr) {
            name = resolved;
        }
    }
    return name;
}

std::optional<Image> imageByHandle(HMODULE module) {
    std::optional<Image> result;
    findImage([&](const Image& image) {
        if (module == nullptr ? image.isMainProgram : image.handle == module) {
            result = image;
            return true;
        }
        return false;
    });
    return result;
}

// The loader's own handle for an image, with one more reference that the caller must drop.
void* loaderHandleOf(const Image& image, int extraFlags) {
    if (image.isMainProgram) {
        return dlopen(nullptr, RTLD_LAZY);
    }
    return dlopen(image.loaderName, RTLD_LAZY | RTLD_NOLOAD | extraFlags);
}

std::optional<ResourceTable> tableOfImage(const Image& image, DWORD& error) {
    for (ElfW(Half) i = 0; i < image.segmentCount; ++i) {
        const ElfW(Phdr)& segment = image.segments[i];
        if (segment.p_type != PT_NOTE) {
            continue;
        }
        const ByteSpan notes{reinterpret_cast<const unsigned char*>(image.bias + segment.p_vaddr),
                             static_cast<std::size_t>(segment.p_memsz)};
        ByteSpan descriptor;
        const NoteSearch search = findResourceNote(notes, segment.p_align == 8 ? 8 : 4, descriptor);
        if (search == NoteSearch::found) {
            if (auto table = ResourceTable::parse(descriptor)) {
                return table;
            }
            break;
        }
        if (search == NoteSearch::damaged) {
            break;
        }
    }
    error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return std::nullopt;
}

// A module loaded with LOAD_LIBRARY_AS_DATAFILE: the file's bytes, read once.
struct DataFile {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    std::optional<ResourceTable> resources;

    HMODULE handle() const {
        return reinterpret_cast<HMODULE>(reinterpret_cast<std::uintptr_t>(bytes.get()) | 1u);
    }
};

struct DataFiles {
    std::mutex mutex;
    std::vector<std::unique_ptr<DataFile>> files;
};

DataFiles& dataFiles() {
    static DataFiles instance;
    return instance;
}

bool isDataFileHandle(HMODULE module) {
    return (reinterpret_cast<std::uintptr_t>(module) & 1u) != 0;
}

DWORD errorForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_BAD_EXE_FORMAT;
    }
}

HMODULE loadDataFile(LPCSTR fileName) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName, "rb"), std::fclose);
    struct stat status {};
    if (file == nullptr || fstat(fileno(file.get()), &status) != 0) {
        SetLastError(errorForErrno(errno));
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        SetLastError(S_ISDIR(status.st_mode) ? ERROR_ACCESS_DENIED : ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto dataFile = std::make_unique<DataFile>();
    dataFile->size = static_cast<std::size_t>(status.st_size);
    // new[] of at least 2 bytes gives an even address, so the handle's low bit is free.
    dataFile->bytes.reset(new (std::nothrow) unsigned char[dataFile->size + 2]);
    if (dataFile->bytes == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (std::fread(dataFile->bytes.get(), 1, dataFile->size, file.get()) != dataFile->size) {
        SetLastError(ERROR_BAD_EXE_FORMAT);  // the file changed under us or could not be read
        return nullptr;
    }
    ByteSpan descriptor;
    switch (findResourceNoteInFile({dataFile->bytes.get(), dataFile->size}, descriptor)) {
        case NoteSearch::damaged:
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return nullptr;
        case NoteSearch::found:
            dataFile->resources = ResourceTable::parse(descriptor);
            if (!dataFile->resources) {
                SetLastError(ERROR_BAD_EXE_FORMAT);
                return nullptr;
            }
            break;
        case NoteSearch::absent:
            break;  // a valid module without resources
    }
    DataFiles& all = dataFiles();
    std::lock_guard lock(all.mutex);
    all.files.push_back(std::move(dataFile));
    return all.files.back()->handle();
}

bool freeDataFile(HMODULE module) {
    DataFiles& all = dataFiles();
    std::lock_guard lock(all.mutex);
    for (auto it = all.files.begin(); it != all.files.end(); ++it) {
        if ((*it)->handle() == module) {
            all.files.erase(it);
            return true;
        }
    }
    return false;
}

// The last path component, without the directories.
std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The file names a Windows module name may stand for here.
std::vector<std::string> candidateNames(std::string name) {
    std::vector<std::string> names{name};
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) {
        names.push_back(name + ".so");
        names.push_back(name + ".dll");
    } else if (sameIgnoringCase(name.substr(dot), ".dll")) {
        names.push_back(name.substr(0, dot) + ".so");
    }
    return names;
}

std::optional<Image> imageByName(LPCSTR moduleName) {
    const std::vector<std::string> names = candidateNames(baseName(moduleName));
    std::optional<Image> result;
    // Prefer the first candidate name over later ones, whatever the loader's order.
    for (const std::string& wanted : names) {
        findImage([&](const Image& image) {
            if (sameIgnoringCase(baseName(pathOf(image)), wanted)) {
                result = image;
                return true;
            }
            return false;
        });
        if (result) {
            break;
        }
    }
    return result;
}

std::optional<Image> imageContaining(const void* address) {
    const auto target = reinterpret_cast<ElfW(Addr)>(address);
    std::optional<Image> result;
    findImage([&](const Image& image) {
        for (ElfW(Half) i = 0; i < image.segmentCount; ++i) {
            const ElfW(Phdr)& segment = image.segments[i];
            const ElfW(Addr) start = image.bias + segment.p_vaddr;
            if (segment.p_type == PT_LOAD && target >= start && target - start < segment.p_memsz) {
                result = image;
                return true;
            }
        }
        return false;
    });
    return result;
}

}  // namespace

std::optional<ResourceTable> resourceTableOf(HMODULE module, DWORD& error) {
    if (isDataFileHandle(module)) {
        DataFiles& all = dataFiles();
        std::lock_guard lock(all.mutex);
        for (const auto& file : all.files) {
            if (file->handle() == module) {
                if (!file->resources) {
                    error = ERROR_RESOURCE_DATA_NOT_FOUND;
                }
                return file->resources;
            }
        }
        error = ERROR_MOD_NOT_FOUND;
        return std::nullopt;
    }
    const std::optional<Image> image = imageByHandle(module);
    if (!image) {
        error = ERROR_MOD_NOT_FOUND;
        return std::nullopt;
    }
    return tableOfImage(*image, error);
}

std::optional<ResourceTable> resourceTableHolding(const void* entry) {
    {
        DataFiles& all = dataFiles();
        std::lock_guard lock(all.mutex);
        for (const auto& file : all.files) {
            if (file->resources && file->resources->holds(entry)) {
                return file->resources;
            }
        }
    }
    const std::optional<Image> image = imageContaining(entry);
    DWORD ignored = 0;
    std::optional<ResourceTable> table = image ? tableOfImage(*image, ignored) : std::nullopt;
    return table && table->holds(entry) ? table : std::nullopt;
}

}  // namespace gs::platform::detail

using namespace gs::platform::detail;

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    return LoadLibraryExA(fileName, nullptr, 0);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags) {
    if (fileName == nullptr || file != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    constexpr DWORD asData = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE |
                             LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    if (flags & asData) {
        return loadDataFile(fileName);
    }
    const int mode = (flags & DONT_RESOLVE_DLL_REFERENCES) ? RTLD_LAZY : RTLD_NOW;
    void* loaded = dlopen(fileName, mode | RTLD_LOCAL);
    if (loaded == nullptr) {
        struct stat status {};
        const bool exists = std::strchr(fileName, '/') != nullptr && stat(fileName, &status) == 0;
        SetLastError(exists ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    link_map* map = nullptr;
    if (dlinfo(loaded, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        dlclose(loaded);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // The reference dlopen took stays with the caller until FreeLibrary.
    HMODULE handle = nullptr;
    findImage([&](const Image& image) {
        if (!image.isMainProgram && image.bias == map->l_addr &&
            std::strcmp(image.loaderName, map->l_name) == 0) {
            handle = image.handle;
            return true;
        }
        return false;
    });
    if (handle == nullptr) {
        dlclose(loaded);
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return handle;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (isDataFileHandle(module)) {
        if (freeDataFile(module)) {
            return TRUE;
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    const std::optional<Image> image = imageByHandle(module);
    if (!image) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (image->isMainProgram) {
        return TRUE;  // the program itself is never unloaded
    }
    void* loaded = loaderHandleOf(*image, 0);
    if (loaded == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    dlclose(loaded);  // the reference taken just now
    dlclose(loaded);  // the caller's
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (procName == nullptr || IS_INTRESOURCE(procName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);  // no ordinals here
        return nullptr;
    }
    const std::optional<Image> image =
        isDataFileHandle(module) ? std::nullopt : imageByHandle(module);
    void* loaded = image ? loaderHandleOf(*image, 0) : nullptr;
    if (loaded == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(loaded, procName);
    dlclose(loaded);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    HMODULE module = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, moduleName, &module)
               ? module
               : nullptr;
}

BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module) {
    constexpr DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN |
                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = nullptr;
    if ((flags & ~known) != 0 || ((flags & GET_MODULE_HANDLE_EX_FLAG_PIN) &&
                                  (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<Image> image;
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        image = imageContaining(moduleName);
    } else {
        image = moduleName == nullptr ? imageByHandle(nullptr) : imageByName(moduleName);
    }
    if (!image) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!image->isMainProgram && !(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
        // The caller now owns a reference (or, pinned, the object stays for good).
        const int pin = (flags & GET_MODULE_HANDLE_EX_FLAG_PIN) ? RTLD_NODELETE : 0;
        if (loaderHandleOf(*image, pin) == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
    }
    *module = image->handle;
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    const std::optional<Image> image =
        isDataFileHandle(module) ? std::nullopt : imageByHandle(module);
    if (!image) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::string path = pathOf(*image);
    if (size == 0 || fileName == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        // Cut to fit with the terminating NUL; the result is the buffer's size.
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

}  // extern "C"
