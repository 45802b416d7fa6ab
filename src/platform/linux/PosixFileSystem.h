#pragma once

#include "platform/FileSystem.h"

namespace nimbrook {

class PosixFileSystem final : public FileSystem {
public:
    bool isExecutableFile(const QString& path) const override;
    // $HOME when set and absolute, otherwise the password database's entry.
    QString homeDirectory() const override;
};

} // namespace nimbrook
