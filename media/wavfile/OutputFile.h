// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

namespace corvane::media {

// What an output path may name, and where its join writes until it ends. A join writes
// "OUT.wav.part" beside the file it replaces and renames it over that file when it ends, so
// an old file survives a join that fails or is killed; the part file is locked while written.
class OutputFile {
  public:
    static constexpr const char* kPartSuffix = ".part";

    // The file the path stands for: a symlink's target (the link itself is kept), otherwise the
    // name in its folder with the folder's links resolved. The absolute path itself when the
    // folder does not exist.
    static std::string target(const std::string& path);
    // "OUT.wav.part"; where that name would be too long for its folder, the name is shortened
    // and tagged with a hash of the whole name ("OUT…~0123456789abcdef.part").
    static std::string partOf(const std::string& target);

    // Why the path must not be written, or "" when it may: it must name a regular file we may
    // write, or nothing yet; never a device, a place on the kernel's own filesystems (/proc, /sys,
    // the device nodes' /dev), a standard stream of this process,
    // or a file another join is writing.
    static QString refusal(const QString& path);
    // Why no file can be made in the target's folder (missing, or closed to us), with what
    // to do; "" when files can be made there.
    static QString folderRefusal(const std::string& target);
    // Why the part file of a target cannot be made, or "" when there is none.
    static QString partRefusal(const std::string& part);
};

}  // namespace corvane::media
