// Output that appears under its final name only when it is complete. Everything is written under
// a hidden staging name in the same folder (so the final move is a rename on one file system);
// commit() renames it, and destruction without commit() removes it. An interrupted or failed
// render therefore never leaves a half-written file behind under the name the user asked for.
#pragma once

#include <filesystem>
#include <string>

namespace gs::host {

class StagedFile {
public:
    // Creates the staging file beside `finalPath`. Throws HostError when the folder is missing
    // or cannot be written.
    explicit StagedFile(std::filesystem::path finalPath);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::filesystem::path& stagingPath() const { return staging_; }
    const std::filesystem::path& finalPath() const { return final_; }

    // Moves the staging file to the final name, replacing a file there.
    void commit();

private:
    std::filesystem::path final_;
    std::filesystem::path staging_;
    bool committed_ = false;
};

// A folder of numbered frames. The frames are written into a staging folder beside the final
// one; commit() renames the staging folder when the final folder does not exist yet, and
// otherwise moves the frames into it, replacing frames of the same names and removing those left
// over from an earlier, longer render (other files in the folder are kept).
class StagedFolder {
public:
    // Creates the staging folder (and the final folder's missing parents). Throws HostError when
    // that is impossible or `finalPath` names something that is not a folder.
    explicit StagedFolder(std::filesystem::path finalPath);
    ~StagedFolder();
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;

    const std::filesystem::path& stagingPath() const { return staging_; }
    const std::filesystem::path& finalPath() const { return final_; }

    // The name of frame `index`: frame-000000.png, frame-000001.png, ...
    static std::string frameName(long long index);

    void commit(long long frameCount);

private:
    std::filesystem::path final_;
    std::filesystem::path staging_;
    bool committed_ = false;
};

}  // namespace gs::host
