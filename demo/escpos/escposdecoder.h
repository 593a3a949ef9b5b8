#pragma once
// Reads the ESC/POS bytes of one print job back as a person (or a test) would want to see them:
// each command named, text decoded (Big5 inside double-byte mode), and the printed lines with
// the colour, emphasis and size they come out in. It knows the commands the service sends and
// names any other byte it meets, so an unexpected command shows up instead of hiding in text.
#include <QByteArray>
#include <QList>
#include <QString>

namespace tavo::demo {

struct EscPosToken {
    enum class Kind { Text, Command, LineFeed };
    Kind kind = Kind::Text;
    QByteArray bytes;
    QString name; // "ESC @", "GS ! 0x11", or the decoded text
    QString note; // what the command does
    bool doubleByte = false; // text read in double-byte (Big5) mode
};

struct EscPosLine {
    QString text;
    bool red = false; // some ink of the line is red
    bool bold = false; // some ink of the line is emphasised
    int width = 1, height = 1; // the largest magnification on the line
};

struct EscPosJob {
    QList<EscPosToken> tokens;
    // Every line the printer feeds out, blank ones included, in order.
    QList<EscPosLine> lines;
    // Buzzer commands of any kind (ESC ( A, ESC B, BEL), and the line count before each.
    QList<int> buzzers;
    int cuts = 0;

    bool startsWithInitialise() const;
    bool endsWithCut() const;
    // The number of commands whose name starts with `prefix` ("ESC r 1", "FS &").
    int count(const QString &prefix) const;
    // The printed lines joined by "\n", trailing spaces removed.
    QString text() const;
    // An annotated hex dump: each token's bytes on the left, what they mean on the right.
    QString annotated() const;
};

EscPosJob decodeEscPos(const QByteArray &bytes);

} // namespace tavo::demo
