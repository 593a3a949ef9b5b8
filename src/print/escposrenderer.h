#pragma once
// A finished document as the bytes a receipt printer on a raw queue reads (ESC/POS). Such a
// printer has no pages and no fonts to choose from: it prints lines of fixed-width characters
// down a roll. So the document's placed items become character lines: positions in twips become
// character columns (the paper's width holds `columns` characters of the printer's plain font),
// font sizes become character magnifications, gaps become line feeds, and what the Windows
// driver's device fonts did on paper becomes the printer's own commands: red print for the red
// device font, the buzzer for the bell of the control font, a partial cut after each document.
// Chinese goes out as Big5 in the printer's double-byte mode; a character Big5 lacks prints "?".
#include "print/printsink.h"

#include <QByteArray>
#include <functional>

namespace tavo::print {

// How a printer sounds its buzzer; models differ.
enum class EscPosBuzzer {
    Function48, // ESC ( A with function 48: the built-in buzzer of current Epson models
    EscB, // ESC B n t: many compatible printers
    Bel, // BEL: printers with an external buzzer on the bell line
    None,
};

// The command that magnifies characters. Older models lack GS !; ESC ! doubles at most.
enum class EscPosSizeCommand { GsExclaim, EscExclaim };

struct EscPosOptions {
    // Characters of the plain font (Font A, 12 dots) across the print head: 42 on a 512-dot head
    // (TM-T88IV/V on 80 mm paper), 48 on a 576-dot one. 42 prints whole on both kinds.
    int columns = 42;
    EscPosBuzzer buzzer = EscPosBuzzer::Function48;
    // The single-byte character page (ESC t n) for text that is neither ASCII nor Chinese:
    // 0 is PC437, which every ESC/POS printer has. -1 sends no ESC t and prints such text as "?",
    // since the page the printer keeps is unknown.
    int codePage = 0;
    EscPosSizeCommand sizeCommand = EscPosSizeCommand::GsExclaim;
    // Motion units fed past the cutting position before the partial cut.
    int cutFeed = 3;

    bool operator==(const EscPosOptions &) const = default;
};

class EscPosRenderer {
public:
    // The whole document as one job: initialise, the lines, feed and cut. An empty document
    // gives no bytes at all, so no blank ticket is fed and cut.
    static QByteArray render(const PrintDocument &document, const EscPosOptions &options = {});
    // The character magnification (1..8) a font size in points prints at.
    static int magnification(double points);
    // The columns a character takes on the printer: 2 for Chinese, 1 for anything else
    // (a character the printer cannot print takes the one column of its "?").
    static int columnsOf(char32_t codePoint);
};

// Renders each document and hands the bytes to a sender (a raw spooler queue, a file, a test).
class EscPosSink : public PrintSink {
public:
    using Sender = std::function<bool(const QString &jobName, const QByteArray &bytes, QString *error)>;
    EscPosSink(EscPosOptions options, Sender send)
        : m_options(options)
        , m_send(std::move(send))
    {
    }
    // An empty document is delivered as nothing at all and counts as delivered.
    bool output(const PrintDocument &document, QString *error) override;

private:
    EscPosOptions m_options;
    Sender m_send;
};

} // namespace tavo::print
