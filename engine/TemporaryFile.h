#pragma once

#include <string>

namespace Exif {

// The file that holds a save's output beside its target until it takes the target's place.
//
// Where the file system allows, it has no name until it is complete (open with O_TMPFILE): a
// crash or a kill before that leaves nothing behind. It is then linked to a temporary name and
// renamed over the target at once. Where O_TMPFILE is refused it is a hidden file named after
// the target and this process, ".NAME.geodot-PID-XXXXXX", which a later save into the folder
// removes once that process is gone (RemoveStaleTemporaryFiles).
//
// GEODOT_TEST_NAMED_TEMPORARY_FILES=1 in the environment makes every save take the named file,
// so that tests reach that path on any file system.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile(); // discards the file unless it has replaced the target
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Makes the file in `folder` for the target called `name`; 0, or the errno of the failure.
    int create(const std::string& folder, const std::string& name);
    int fd() const { return fd_; }
    // Puts the file in the place of `target` (a path in the same folder); 0, or the errno of
    // the failure, after which the file is still discarded by the destructor.
    int replace(const std::string& target);

private:
    int link();

    std::string folder_, name_, path_; // path_: its name in the folder once it has one
    int fd_ = -1;
    bool replaced_ = false;
};

// Removes from `folder` the named temporary files of saves whose process is gone, when they
// are regular files of this user last written more than a minute ago. Nothing else is touched,
// and failures are ignored: the files are left for the next save.
void RemoveStaleTemporaryFiles(const std::string& folder);

} // namespace Exif
