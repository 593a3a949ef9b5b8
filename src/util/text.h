#pragma once
// Paths and fixed byte widths.
#include <QString>

namespace tavo {

// `path` ended by `separator` (appended when missing); empty stays empty.
QString AddPathSep(const QString &path, const QString &separator = QStringLiteral("/"));

// `text` made exactly `width` bytes wide in the ANSI code page, where a Chinese character takes
// two: cut to its first `width` bytes, or padded with spaces on the right. A double-byte character
// that the cut would split is left out and a space takes its place, so the width stays exact.
QString FixWidthB(const QString &text, int width);

} // namespace tavo
