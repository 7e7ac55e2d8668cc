// The files of one analysis are written into a hidden folder inside the
// output folder and moved into place only when all of them are complete, so
// the output folder holds either the previous set or the new one, never a
// half-written file.
#pragma once

#include <string>
#include <vector>

class StagingDirectory {
public:
    // Creates `directory` (and its parents) when missing, and the hidden
    // folder in it. Throws FileError saying what could not be created.
    explicit StagingDirectory(const std::string& directory);
    // Removes the hidden folder with whatever is left in it.
    ~StagingDirectory();
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    // Where a file named `name` is written before commit().
    std::string pathOf(const std::string& name) const;
    // Writes `content` to `name` in the hidden folder and remembers it.
    void write(const std::string& name, const std::string& content);
    // Remembers a file that another program wrote into the hidden folder.
    void adopt(const std::string& name);
    // Moves every file into the output folder (a rename each, in the same
    // file system), then removes those of `obsolete` that this set does not
    // replace, so no file of an earlier set is left looking current. Throws
    // FileError when a file is missing or cannot move.
    void commit(const std::vector<std::string>& obsolete = {});

    const std::vector<std::string>& names() const { return names_; }

private:
    std::string directory_;
    std::string staging_;
    std::vector<std::string> names_;
};
