#pragma once
// Reads the ESC/POS bytes of one print job back as an Epson-class printer prints them: each
// command named, text decoded (Big5 inside double-byte mode), and the printed lines with the
// colour, emphasis and size they come out in. It models the printer, not the program that wrote
// the bytes: ESC r takes effect only before the first printable byte of a line (later it is
// ignored, and the token says so); a line whose characters run past the head's width in dots is
// printed and the rest goes on the next line, as the printer's full line buffer does; double
// width counts twice; a printer that starts in double-byte mode pairs any byte above 0x7F with
// the next. It knows the commands the service sends and names any other byte it meets, so an
// unexpected command shows up instead of hiding in text.
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

// The printer the bytes are read on.
struct EscPosPrinter {
    // Printable width of the head in dots. Font A is 12 dots a character and 24 a Chinese one:
    // 512 dots (TM-T88IV/V on 80 mm paper) hold 42 characters, 576 hold 48.
    int dots = 512;
    // Many Chinese models come up (and return with ESC @) in double-byte mode.
    bool startsInDoubleByte = true;

    static EscPosPrinter withColumns(int columns) { return { columns * 12, true }; }
};

struct EscPosLine {
    QString text;
    bool red = false; // the line prints red (the colour chosen at its start)
    bool bold = false; // some ink of the line is emphasised
    int width = 1, height = 1; // the largest magnification on the line
    // The printer began this line because the one before ran past the head, not because it was told.
    bool overflow = false;
};

struct EscPosJob {
    QList<EscPosToken> tokens;
    // Every line the printer feeds out, blank ones included, in order.
    QList<EscPosLine> lines;
    // Buzzer commands of any kind (ESC ( A, ESC B, BEL), and the line count before each.
    QList<int> buzzers;
    int cuts = 0;
    // ESC r commands that came after printable data of a line, which the printer ignores.
    int ignoredColours = 0;

    bool startsWithInitialise() const;
    bool endsWithCut() const;
    // The number of commands whose name starts with `prefix` ("ESC r 1", "FS &").
    int count(const QString &prefix) const;
    // The printed lines joined by "\n", trailing spaces removed.
    QString text() const;
    // An annotated hex dump: each token's bytes on the left, what they mean on the right.
    QString annotated() const;
};

EscPosJob decodeEscPos(const QByteArray &bytes, const EscPosPrinter &printer = {});

} // namespace tavo::demo
