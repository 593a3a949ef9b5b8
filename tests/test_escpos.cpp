// Receipt-printer bytes: finished documents rendered to ESC/POS and read back through the same
// decoder the demo uses, so each check is about what a printer would do with the bytes.
#include "demo/escpos/escposdecoder.h"
#include "print/escposrenderer.h"
#include "print/painterrenderer.h"
#include "print/printersetup.h"
#include "print/printsurface.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "tickets/kitchenticket.h"
#include "tickets/kitchenticketprinter.h"
#include "tickets/testticket.h"
#include "util/globals.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::platform;
using namespace tavo::print;
using demo::decodeEscPos;
using demo::EscPosJob;

// Readable failure messages for texts.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// A roll-paper surface whose documents a test keeps.
struct Roll {
    test::KeepingSink sink;
    PrintSurface vsp;
    Roll()
    {
        vsp.setPaperSize(tickets::kRollPaper);
        vsp.setSink(&sink);
        vsp.startDoc();
    }
    PrintDocument end()
    {
        vsp.endDoc();
        return sink.documents.last();
    }
};

// The job as a printer whose head holds the options' columns prints it.
EscPosJob render(const PrintDocument &doc, const EscPosOptions &options = {})
{
    return decodeEscPos(
        EscPosRenderer::render(doc, options), demo::EscPosPrinter::withColumns(options.columns));
}

// The printed lines that carry ink.
QStringList inked(const EscPosJob &job)
{
    QStringList out;
    for (const demo::EscPosLine &line : job.lines)
        if (!line.text.trimmed().isEmpty())
            out.append(line.text.trimmed());
    return out;
}

tickets::KitchenTicket ticketOf(const QString &name, double qty)
{
    tickets::KitchenTicket t;
    t.OrderPID = u"A05"_s;
    t.ItemName = name;
    t.ItemType = u"S0"_s;
    t.Qty = qty;
    t.Amt = 100 * qty;
    t.Remark = u"不辣"_s;
    t.OrderUserID = u"W1"_s;
    return t;
}

tickets::TicketSettings reprintSettings(bool ringBell)
{
    tickets::TicketSettings s;
    s.printSNo = u"0012"_s;
    s.kpName = u"補印"_s;
    s.ringBell = ringBell;
    s.opDate = u"2026/12/07"_s;
    s.printedAt = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
    return s;
}

// The printed lines that carry ink, each with its runs of spaces read as one.
QStringList read(const EscPosJob &job)
{
    QStringList out;
    for (const QString &line : inked(job))
        out.append(line.simplified());
    return out;
}

// The test ticket of the printer "TM-T88 Kitchen" on business date 2025/07/04.
PrintDocument testTicket()
{
    test::FakePrinterCatalog printers { { u"TM-T88 Kitchen"_s } };
    g().gOPDate = u"2025/07/04"_s;
    tickets::OrderBuffer buffer;
    tickets::fillTestEntry(buffer);
    buffer.printerLine = u"廚房印表機:TM-T88 Kitchen"_s;
    PrintSurface vsp;
    EXPECT_TRUE(tickets::KPWPOrderI(u"TM-T88 Kitchen"_s, buffer, vsp, {}));
    return printers.jobs.value(0).document;
}

PrintDocument kitchenTicket(const tickets::KitchenTicket &ticket)
{
    Roll roll;
    tickets::layOutKitchenTicket(roll.vsp, ticket, reprintSettings(false));
    return roll.sink.documents.last();
}

} // namespace

// The worked-example ticket, whole: what a kitchen printer on a raw queue receives.
TEST(EscPos, KitchenTicketPrintsAsLinesWithBig5BellAndCut)
{
    test::TestEnvironment env;
    Roll roll;
    tickets::KitchenTicket t = ticketOf(u"牛肉麵"_s, 1);
    t.addOns = { { u"2"_s, u"白飯"_s, 2, QString() } };
    tickets::layOutKitchenTicket(roll.vsp, t, reprintSettings(true));
    const QByteArray bytes = EscPosRenderer::render(roll.sink.documents.last());
    const EscPosJob job = decodeEscPos(bytes);
    if (const QString dump = qEnvironmentVariable("TAVO_ESCPOS_DUMP"); !dump.isEmpty()) {
        QFile out(dump);
        if (out.open(QIODevice::WriteOnly))
            out.write(job.annotated().toUtf8());
    }

    EXPECT_TRUE(job.startsWithInitialise());
    EXPECT_TRUE(bytes.startsWith("\x1b@\x1c."))
        << "double-byte mode left at once, whatever the printer starts in";
    EXPECT_TRUE(job.endsWithCut());
    EXPECT_EQ(job.tokens.last().name, u"GS V 66 3"_s) << "feed and partial cut";
    // 42 columns: the item's 2800 twips of 80 mm are 26 of them, 13 doubled characters, which
    // "牛肉麵 <不辣>" fills; the quantity is centred in the next 8.
    EXPECT_EQ(inked(job),
        (QStringList { u"補印-0012  A05"_s, u"點單人員:W1        印單時間:14:05:09"_s, u"牛肉麵 <不辣> 1"_s,
            u"/白飯*2"_s, u"<2026/12/07>  [客數: ]"_s }));
    // Chinese goes out as Big5 between FS & and FS .
    EXPECT_TRUE(bytes.contains("\x1c&\xb8\xc9\xa6\x4c")) << "補印 in double-byte mode";
    EXPECT_EQ(job.count(u"FS &"_s) + 1, job.count(u"FS ."_s));
    // Sizes: the 16-point header and the 18-point item double; the 9- and 8-point lines do not.
    EXPECT_EQ(job.lines[0].height, 2);
    const auto lineWith = [&](const QString &text) {
        for (const demo::EscPosLine &line : job.lines)
            if (line.text.contains(text))
                return line;
        return demo::EscPosLine {};
    };
    EXPECT_EQ(lineWith(u"牛肉麵"_s).height, 2);
    EXPECT_TRUE(lineWith(u"牛肉麵"_s).bold);
    EXPECT_EQ(lineWith(u"點單人員"_s).height, 1);
    EXPECT_FALSE(lineWith(u"點單人員"_s).bold);
    // The operator line is centred on the 42 columns; a plain ticket has no red and one buzzer
    // after its last line.
    const QString op = lineWith(u"點單人員"_s).text;
    const int lead = int(op.size() - op.trimmed().size());
    EXPECT_NEAR(lead, (42 - (op.trimmed().size() + 4 /* four Chinese at two columns */ + 4)) / 2, 3);
    EXPECT_EQ(job.count(u"ESC r 1"_s), 0);
    ASSERT_EQ(job.buzzers.size(), 1);
    EXPECT_EQ(job.buzzers[0], job.lines.size());
}

// A two-colour printer takes ESC r only before a line's first printable byte: each line must be
// given its colour there. Returns and rush requests print red from the operator line through the
// item and its add-ons, and the footer black again; on the test ticket only the dot is red.
TEST(EscPos, EachLinePrintsInTheColourChosenAtItsStart)
{
    test::TestEnvironment env;
    tickets::KitchenTicket back = ticketOf(u"牛肉麵"_s, -2), rush = ticketOf(u"牛肉麵"_s, 0),
                           plain = ticketOf(u"牛肉麵"_s, 3);
    back.addOns = plain.addOns = { { u"2"_s, u"白飯"_s, 2, QString() } };
    const struct Case {
        const char *name;
        PrintDocument document;
        QStringList red; // the lines printed red, read as the printer prints them
    } cases[] = {
        { "return", kitchenTicket(back),
            { u"點單人員:W1 印單時間:14:05:09"_s, u"[退]牛肉麵 2份 <不辣> [退]"_s, u"/白飯*2"_s } },
        { "rush", kitchenTicket(rush),
            { u"點單人員:W1 印單時間:14:05:09"_s, u"[快]牛肉麵 快上"_s, u"<不辣>"_s } },
        { "plain", kitchenTicket(plain), {} },
        { "test ticket", testTicket(), { u"."_s } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const EscPosJob job = render(c.document);
        EXPECT_EQ(job.ignoredColours, 0) << job.annotated().toStdString();
        QStringList red;
        for (const demo::EscPosLine &line : job.lines)
            if (line.red)
                red.append(line.text.simplified());
        EXPECT_EQ(red, c.red) << job.text().toStdString();
    }
}

// What Big5 and the single-byte page cannot hold prints as "?" and the job goes on.
TEST(EscPos, CharactersOutsideBig5BecomeQuestionMarks)
{
    struct Case {
        QString text;
        int codePage;
        QString printed;
        QByteArray bytes;
    } cases[] = {
        { u"補😀补印"_s, -1, u"補??印"_s, "\x1c&\xb8\xc9\x1c.??\x1c&\xa6\x4c\x1c." },
        { u"café"_s, -1, u"caf?"_s, "caf?" },
        { u"café"_s, 0, u"caf?"_s,
            QByteArray("\x1bt\x00"
                       "caf\x82",
                7) }, // é on PC437, the default page
        { u"café"_s, 16, u"caf?"_s,
            "\x1bt\x10"
            "caf\xe9" }, // é on the Windows-1252 page
        // A printer that starts in double-byte mode would take 0x82 and "1" for one character.
        { u"é1"_s, 0, u"?1"_s,
            "\x82"
            "1" },
    };
    for (const Case &c : cases) {
        Roll roll;
        roll.vsp.paragraph(c.text);
        EscPosOptions options;
        options.codePage = c.codePage;
        const QByteArray bytes = EscPosRenderer::render(roll.end(), options);
        EXPECT_TRUE(bytes.contains(c.bytes))
            << c.text.toStdString() << ": " << bytes.toHex(' ').toStdString();
        EXPECT_EQ(inked(decodeEscPos(bytes)), QStringList { c.printed }) << c.text.toStdString();
        EXPECT_TRUE(decodeEscPos(bytes).endsWithCut());
    }
}

// Table rows in character columns: widths from the twips, alignment kept, Chinese two columns,
// a cell too long for its column wrapped inside it.
TEST(EscPos, TableRowsKeepTheirColumnsOnTheCharacterGrid)
{
    struct Case {
        int columns;
        QString format, row;
        QStringList printed;
    } cases[] = {
        // 80 mm holds 48 columns of 94.5 twips: 1890 twips are 20 columns, 945 are 10.
        { 48, u"<1890|>945|^945;"_s, u"ab|12|x;"_s, { u"ab                          12    x"_s } },
        { 48, u"<1890|>945;"_s, u"牛肉麵|1;"_s, { u"牛肉麵                       1"_s } },
        // At 42 columns a column is 108 twips: the second column ends at 26, not 30.
        { 42, u"<1890|>945;"_s, u"ab|12;"_s, { u"ab                      12"_s } },
        // Seven Chinese characters take 14 of the 10 columns: wrapped at 4, so that the "x" that
        // starts right at the next column's edge does not touch them.
        { 48, u"<945|945;"_s, u"一二三四五六七|x;"_s, { u"一二三四  x"_s, u"五六七"_s } },
        { 48, u"<945|945;"_s, u"one two three|x;"_s, { u"one two   x"_s, u"three"_s } },
    };
    for (const Case &c : cases) {
        Roll roll;
        roll.vsp.setFontSize(9);
        roll.vsp.addTable(c.format, QString(), c.row);
        EscPosOptions options;
        options.columns = c.columns;
        const EscPosJob job = render(roll.end(), options);
        QStringList lines;
        for (const demo::EscPosLine &line : job.lines)
            lines.append(QString(line.text).remove(QRegularExpression(u"\\s+$"_s)));
        EXPECT_EQ(lines, c.printed) << c.format.toStdString() << " " << c.row.toStdString();
    }
}

// No printed line runs past the head, none breaks inside a number or a Latin word, and the
// quantity stands beside the item's first line: what the kitchen met at 42 and 48 columns was
// "->營業日:2025/07/0" and "4", "Joe's湯-時價(38 3" and "0)-季節[招待]", "[退]炒飯-大  [退]" and "2份".
TEST(EscPos, TicketsWrapWithinTheHeadNeverInsideAWord)
{
    test::TestEnvironment env;
    tickets::KitchenTicket joes = ticketOf(u"Joe's湯"_s, 3);
    joes.PriceCap = u"時價"_s;
    joes.Price = 380;
    joes.menuRemark = u"季節"_s;
    joes.DelMark = u"F"_s;
    joes.Amt = 0;
    joes.Remark.clear();
    tickets::KitchenTicket friedRice = ticketOf(u"炒飯-大"_s, -2);
    friedRice.Remark.clear();
    const QString header = u"補印-0012 A05"_s, op = u"點單人員:W1 印單時間:14:05:09"_s,
                  footer = u"<2026/12/07> [客數: ]"_s;
    const struct Case {
        const char *name;
        int columns;
        PrintDocument document;
        QStringList lines; // as printed, runs of spaces read as one
    } cases[] = {
        { "test ticket", 42, testTicket(),
            { u"[印表服務啟動測試]"_s, u"點單時間:hh:mm 印單時間:14:05:09"_s, u"服務員代號: Korvel."_s,
                u"."_s, u"廚房印表機:TM-T88"_s, u"Kitchen"_s, u"印表機OK, 999"_s, u"請通知櫃台"_s, u"."_s,
                u"->營業日:"_s, u"2025/07/04"_s } },
        { "market price", 48, kitchenTicket(joes),
            { header, op, u"Joe's湯-時價 3"_s, u"(380)-季節"_s, u"[招待]"_s, footer } },
        // Doubled, the count would go down a line: the name and its count print at normal width.
        { "return", 42, kitchenTicket(friedRice), { header, op, u"[退]炒飯-大 2份 [退]"_s, footer } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EscPosOptions options;
        options.columns = c.columns;
        const EscPosJob job = render(c.document, options);
        EXPECT_EQ(read(job), c.lines) << job.annotated().toStdString();
        for (const demo::EscPosLine &line : job.lines)
            EXPECT_FALSE(line.overflow) << "the printer itself broke the line: " << line.text.toStdString();
    }
}

// The decoder reads bytes as an Epson-class printer acts on them, whoever wrote them.
TEST(EscPos, TheDecoderPrintsAsThePrinterDoes)
{
    const auto raw = [](const auto &literal) { return QByteArray(literal, sizeof literal - 1); };
    const QByteArray a43(43, 'a'), big5Ten = QByteArray("\xa4\x40").repeated(22); // 22 times "一"
    const struct Case {
        const char *name;
        QByteArray bytes;
        int dots;
        QStringList lines;
        QList<bool> red;
    } cases[] = {
        { "42 plain characters fill 512 dots", "\x1b@\x1c." + a43 + "\n", 512, { QString(42, u'a'), u"a"_s },
            { false, false } },
        { "48 fill 576", "\x1b@\x1c." + a43 + "\n", 576, { QString(43, u'a') }, { false } },
        { "doubled, 21 to a line", "\x1b@\x1c.\x1d!\x11" + QByteArray(22, 'b') + "\n", 512,
            { QString(21, u'b'), u"b"_s }, { false, false } },
        { "Chinese take two columns", "\x1b@\x1c&" + big5Ten + "\x1c.\n", 512,
            { u"一"_s.repeated(21), u"一"_s }, { false, false } },
        { "ESC r at the start colours the line",
            raw("\x1b@\x1br\x01red\n\x1br\x00"
                "black\n"),
            512, { u"red"_s, u"black"_s }, { true, false } },
        { "ESC r after text is ignored", raw("\x1b@\x1br\x01red\x1br\x00\nstill red\n"), 512,
            { u"red"_s, u"still red"_s }, { true, true } },
        { "a space is printable data", "\x1b@ \x1br\x01x\n", 512, { u" x"_s }, { false } },
        { "a printer in double-byte mode pairs a high byte with the next",
            "\x1b@\x82"
            "1\n",
            512, { u"?"_s }, { false } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const EscPosJob job = decodeEscPos(c.bytes, { c.dots, true });
        QStringList lines;
        QList<bool> red;
        for (const demo::EscPosLine &line : job.lines) {
            lines.append(line.text);
            red.append(line.red);
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(red, c.red);
    }
}

// Per-printer choices: the buzzer command and the size command.
TEST(EscPos, BuzzerAndSizeCommandsFollowTheOptions)
{
    Roll roll;
    roll.vsp.setFontSize(18);
    roll.vsp.paragraph(u"快上"_s);
    roll.vsp.setFontName(kControlDeviceFont);
    roll.vsp.text(u"C"_s);
    const PrintDocument doc = roll.end();

    struct Case {
        EscPosBuzzer buzzer;
        QByteArray bytes;
    } buzzers[] = {
        { EscPosBuzzer::Function48,
            QByteArray("\x1b(A\x04\x00\x30"
                       "1\x03\x0a",
                9) },
        { EscPosBuzzer::EscB, "\x1b\x42\x03\x02" },
        { EscPosBuzzer::Bel, "\x07" },
    };
    for (const Case &c : buzzers) {
        EscPosOptions options;
        options.buzzer = c.buzzer;
        const QByteArray bytes = EscPosRenderer::render(doc, options);
        EXPECT_TRUE(bytes.contains(c.bytes)) << bytes.toHex(' ').toStdString();
        EXPECT_EQ(decodeEscPos(bytes).buzzers, QList<int> { 1 }) << "once, after the line";
    }
    EscPosOptions silent;
    silent.buzzer = EscPosBuzzer::None;
    EXPECT_TRUE(decodeEscPos(EscPosRenderer::render(doc, silent)).buzzers.isEmpty());

    EXPECT_TRUE(EscPosRenderer::render(doc).contains("\x1d!\x11")) << "GS ! doubles both ways";
    EscPosOptions old;
    old.sizeCommand = EscPosSizeCommand::EscExclaim;
    const QByteArray bytes = EscPosRenderer::render(doc, old);
    EXPECT_FALSE(bytes.contains("\x1d!"));
    EXPECT_TRUE(bytes.contains("\x1b!\x30\x1c!\x0c")) << bytes.toHex(' ').toStdString();
    EXPECT_EQ(decodeEscPos(bytes).lines[0].height, 2);
}

// Gaps become line feeds; an empty document is no job at all.
TEST(EscPos, VerticalMovesFeedAndEmptyDocumentsSendNothing)
{
    Roll roll;
    roll.vsp.setCurrentY(480); // a top margin of two lines
    roll.vsp.paragraph(u"A"_s);
    roll.vsp.setCurrentY(roll.vsp.currentY() + 720);
    roll.vsp.paragraph(u"B"_s);
    roll.vsp.setCurrentY(roll.vsp.currentY() - 200); // up: the roll cannot go back
    roll.vsp.paragraph(u"C"_s);
    EXPECT_EQ(render(roll.end()).text(), u"\n\nA\n\n\n\nB\nC"_s);

    // The layout measured a narrower font than the printer's: the printer's line ends at the
    // paper's edge and the rest follows on the next line, nothing lost.
    Roll wide;
    wide.vsp.setFontSize(16); // doubled on the printer, but more than 10 Chinese to a line here
    const QString dishes = u"一二三四五六七八九十"_s.repeated(3);
    wide.vsp.paragraph(dishes);
    const PrintDocument laidOut = wide.end();
    ASSERT_GT(laidOut.items().first().text.size(), 10);
    const EscPosJob job = render(laidOut);
    for (const demo::EscPosLine &line : job.lines)
        EXPECT_LE(line.text.size(), 10) << "ten doubled Chinese fill 42 columns";
    EXPECT_EQ(inked(job).join(QString()), dishes);

    Roll empty;
    EXPECT_TRUE(EscPosRenderer::render(empty.end()).isEmpty());
    int sent = 0;
    EscPosSink sink({}, [&](const QString &, const QByteArray &, QString *) { return ++sent, true; });
    QString error;
    EXPECT_TRUE(sink.output(empty.sink.documents.last(), &error));
    EXPECT_EQ(sent, 0);
}

// Each printer's own settings; what cannot be read keeps the default and is named.
TEST(EscPos, PrinterSetupComesFromTheSettingsStore)
{
    test::TestEnvironment env;
    const QString section = printerSetupSection(u"Kitchen1"_s);
    EXPECT_EQ(readPrinterSetup(u"Kitchen1"_s).mode, PrinterMode::Guess);
    EXPECT_EQ(readPrinterSetup(u"Kitchen1"_s).escpos, EscPosOptions {});

    const QList<QPair<QString, QString>> values { { u"Mode"_s, u"RAW"_s }, { u"Columns"_s, u"42"_s },
        { u"Buzzer"_s, u"EscB"_s }, { u"CodePage"_s, u"16"_s }, { u"SizeCommand"_s, u"esc"_s } };
    for (const auto &[key, value] : values)
        env.settings.save(u"Tavo3"_s, section, key, value);
    PrinterSetup setup = readPrinterSetup(u"Kitchen1"_s);
    EXPECT_EQ(setup.mode, PrinterMode::Raw);
    EXPECT_EQ(setup.escpos.columns, 42);
    EXPECT_EQ(setup.escpos.buzzer, EscPosBuzzer::EscB);
    EXPECT_EQ(setup.escpos.codePage, 16);
    EXPECT_EQ(setup.escpos.sizeCommand, EscPosSizeCommand::EscExclaim);
    EXPECT_TRUE(setup.problems.isEmpty());
    EXPECT_EQ(readPrinterSetup(u"Kitchen2"_s).escpos, EscPosOptions {}) << "settings are per printer";

    for (const auto &[key, value] : { std::pair { u"Mode"_s, u"laser"_s }, { u"Columns"_s, u"4"_s },
             { u"Buzzer"_s, u"loud"_s }, { u"CodePage"_s, u"x"_s }, { u"SizeCommand"_s, u"big"_s } })
        env.settings.save(u"Tavo3"_s, section, key, value);
    setup = readPrinterSetup(u"Kitchen1"_s);
    EXPECT_EQ(setup.mode, PrinterMode::Guess);
    EXPECT_EQ(setup.escpos, EscPosOptions {});
    EXPECT_EQ(setup.problems.size(), 5);
    EXPECT_TRUE(setup.problems[1].contains(u"Columns=4"_s)) << setup.problems.join(u' ').toStdString();
}

// Through a driver, a roll ticket is a page as long as its content, not a sheet of 297 mm.
TEST(EscPos, RollTicketsThroughADriverEndBelowTheirContent)
{
    test::TestEnvironment env;
    Roll roll;
    roll.vsp.setPaperSize(tickets::kRollPaper, true);
    roll.vsp.startDoc();
    tickets::layOutKitchenTicket(roll.vsp, ticketOf(u"牛肉麵"_s, 1), reprintSettings(false));
    const PrintDocument doc = roll.sink.documents.last();
    const QSizeF mm = PainterRenderer::pageSize(doc).size(QPageSize::Millimeter);
    EXPECT_NEAR(mm.width(), 80, 0.5);
    EXPECT_NEAR(mm.height(), doc.contentBottom(0) / kTwipsPerMm + 5, 0.5);
    EXPECT_LT(mm.height(), 60);
    PrintDocument sheet = doc;
    sheet.roll = false;
    EXPECT_NEAR(PainterRenderer::pageSize(sheet).size(QPageSize::Millimeter).height(), 297, 0.5);
}
