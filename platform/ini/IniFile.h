#pragma once
// Profile-string reading and writing on an INI file, the way the desktop's
// profile routines behave: case-blind names, values cut at 2047 characters,
// and writes that change one value in place and leave every other byte alone.
#include <QString>

namespace vidra {

class IniFile
{
public:
    static constexpr int kMaxValueLength = 2047;

    explicit IniFile(QString fileName);
    const QString& fileName() const { return m_fileName; }

    // Whether the file holds the key (in the first section of that name).
    bool contains(const QString& section, const QString& key) const;

    // A missing file, section or key gives the default.
    QString readString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal with a leading "0x"/"0X"; anything else gives the default.
    int readInteger(const QString& section, const QString& key, int def) const;

    // A value that names a file: its bytes, whatever they are, come back in
    // the text as decodePath holds them, and writePath puts them back as they
    // were (LocalPath.h).
    QString readPath(const QString& section, const QString& key, const QString& def) const;

    // Raise vidra::Error("Unable to write to <file>") when the file cannot be written.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writePath(const QString& section, const QString& key, const QString& path);

private:
    QString readValue(const QString& section, const QString& key, const QString& def,
                      bool path) const;
    void writeValue(const QString& section, const QString& key, const QString& value, bool path);

    QString m_fileName;
};

} // namespace vidra
