#pragma once
// Reading TavoC.INI the way the Windows profile reader does, so that a site's existing file
// gives the same values: ANSI code page, names without regard to case, at most 127 bytes.
#include <QString>

namespace tavo::platform {

// The value of `key` in `section` of the INI file at `path`; empty for a missing file, section
// or key. The value is cut at its first NUL and to its first 127 bytes in the code page (a
// double-byte character that the cut would split is left out).
QString GetINI(const QString &path, const QString &section, const QString &key);

// The same over the file's bytes, for callers that hold the content already.
QString iniValue(const QByteArray &content, const QString &section, const QString &key);

// The profile reader's buffer holds 128 bytes including the terminating NUL.
inline constexpr qsizetype kIniValueBytes = 127;

} // namespace tavo::platform

namespace tavo {
using platform::GetINI;
}
