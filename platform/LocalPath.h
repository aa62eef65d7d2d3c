#pragma once
// File names are byte strings on this system, and a name written by another
// program (a path in an older code page, say) need not be valid UTF-8. A path
// is held as text in which every byte that is not part of valid UTF-8 stands
// as the lone code unit U+DC80..U+DCFF, so that any name goes from bytes to
// text and back unchanged. Valid UTF-8 reads as the same text Qt gives it.
#include <QByteArray>
#include <QString>

namespace vidra {

// The text of a file name given as bytes; never loses a byte.
QString decodePath(const QByteArray& bytes);
// The bytes of a file name held as text: decodePath's bytes come back as
// they were; any other text is encoded as UTF-8.
QByteArray encodePath(const QString& path);
// The path for showing to a person: bytes that are not text show as U+FFFD.
QString displayPath(const QString& path);

} // namespace vidra
