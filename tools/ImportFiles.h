#pragma once
// The files of vidra-db import besides the directory file: the source,
// opened once, and the report listing the rows that were skipped.
#include "tools/DbFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstddef>
#include <sys/stat.h>

namespace vidradb {

// The source, opened once: every later step reads this descriptor, so the
// file checked is the file read even if its name is meanwhile given to
// something else. Only a regular file is opened.
class SourceFile
{
public:
    explicit SourceFile(const QString& path);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    FileKey key() const { return FileKey{m_stat.st_dev, m_stat.st_ino}; }
    size_t size() const { return size_t(m_stat.st_size); }

    // Up to n bytes from the start.
    QByteArray head(size_t n) const;

    // The whole file, mapped into memory.
    const char* data();

    // A name under which a child process opens this very file: the
    // descriptor, handed down. The plain path where /proc is missing.
    QString nameForChild() const;

private:
    void refuseUnlessRegular(const struct stat& st) const;

    QString m_path;
    int m_fd = -1;
    struct stat m_stat
    {
    };
    void* m_map = nullptr;
};

// The list of skipped rows, written under a temporary name next to the
// report and renamed by the same rules as the directory file.
class Report
{
public:
    Report(const QString& path, const FileIdentity& before);
    void write(const QByteArray& bytes);
    void finish();
    void moveIntoPlace() { m_temp.moveTo(m_target, m_before); }

private:
    [[noreturn]] void fail();

    QString m_target;
    FileIdentity m_before;
    TempFile m_temp;
    QFile m_file;
};

} // namespace vidradb
