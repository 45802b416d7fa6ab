#pragma once

#include <QString>

namespace nimbrook {

// The few file-system facts the tool search needs.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True when a regular file exists at `path` and the current user may execute
    // it; false for anything else, including errors.
    virtual bool isExecutableFile(const QString& path) const = 0;
    // The current user's home directory as an absolute path; empty if unknown.
    virtual QString homeDirectory() const = 0;
};

} // namespace nimbrook
