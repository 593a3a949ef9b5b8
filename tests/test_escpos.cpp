// Receipt-printer bytes: finished documents rendered to ESC/POS and read back through the same
// decoder the demo uses, so each check is about what a printer would do with the bytes.
#include "demo/escpos/escposdecoder.h"
#include "platform/escposrenderer.h"
#include "platform/painterrenderer.h"
#include "platform/printersetup.h"
#include "platform/printsurface.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "tickets/frmTMSlip.h"
#include "tickets/kitchenticket.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::platform;
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

EscPosJob render(const PrintDocument &doc, const EscPosOptions &options = {})
{
    return decodeEscPos(EscPosRenderer::render(doc, options));
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
    EXPECT_TRUE(job.endsWithCut());
    EXPECT_EQ(job.tokens.last().name, u"GS V 66 3"_s) << "feed and partial cut";
    EXPECT_EQ(inked(job),
        (QStringList { u"補印-0012  A05"_s, u"點單人員:W1        印單時間:14:05:09"_s, u"牛肉麵 <不辣>   1"_s,
            u"/白飯*2"_s, u"<2026/12/07>  [客數: ]"_s }));
    // Chinese goes out as Big5 between FS & and FS .
    EXPECT_TRUE(bytes.contains("\x1c&\xb8\xc9\xa6\x4c")) << "補印 in double-byte mode";
    EXPECT_EQ(job.count(u"FS &"_s), job.count(u"FS ."_s));
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
    // The operator line is centred on the 48 columns; a plain ticket has no red and one buzzer
    // after its last line.
    const QString op = lineWith(u"點單人員"_s).text;
    const int lead = int(op.size() - op.trimmed().size());
    EXPECT_NEAR(lead, (48 - (op.trimmed().size() + 4 /* four Chinese at two columns */ + 4)) / 2, 3);
    EXPECT_EQ(job.count(u"ESC r 1"_s), 0);
    ASSERT_EQ(job.buzzers.size(), 1);
    EXPECT_EQ(job.buzzers[0], job.lines.size());
}

// Returns and rush requests print red from the operator line down, and only those lines.
TEST(EscPos, RedDeviceFontPrintsRedOnlyAroundItsLines)
{
    test::TestEnvironment env;
    for (const double qty : { -2.0, 0.0, 3.0 }) {
        Roll roll;
        tickets::layOutKitchenTicket(roll.vsp, ticketOf(u"牛肉麵"_s, qty), reprintSettings(false));
        const EscPosJob job = render(roll.sink.documents.last());
        // Header, operator line, the item (wrapped in its column), footer.
        QStringList red, black;
        for (const demo::EscPosLine &line : job.lines)
            if (!line.text.trimmed().isEmpty())
                (line.red ? red : black).append(line.text.trimmed());
        if (qty > 0) {
            EXPECT_TRUE(red.isEmpty()) << red.join(u'/').toStdString();
            continue;
        }
        EXPECT_EQ(black.size(), 2) << black.join(u'/').toStdString();
        EXPECT_TRUE(black.last().startsWith(u"<2026/12/07>"_s));
        ASSERT_EQ(red.size(), 3) << red.join(u'/').toStdString();
        EXPECT_TRUE(red[0].startsWith(u"點單人員"_s));
        EXPECT_TRUE(red[1].startsWith(qty < 0 ? u"[退]"_s : u"[快]"_s)) << red[1].toStdString();
        EXPECT_EQ(job.count(u"ESC r 1"_s), job.count(u"ESC r 0"_s));
        EXPECT_TRUE(job.buzzers.isEmpty()) << "no bell was recorded";
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
        // Seven Chinese characters take 14 of the 10 columns: wrapped at 5 within the column.
        { 48, u"<945|945;"_s, u"一二三四五六七|x;"_s, { u"一二三四五x"_s, u"六七"_s } },
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
    wide.vsp.setFontSize(16); // doubled on the printer, but more than 12 Chinese to a line here
    const QString dishes = u"一二三四五六七八九十"_s.repeated(3);
    wide.vsp.paragraph(dishes);
    const PrintDocument laidOut = wide.end();
    ASSERT_GT(laidOut.items().first().text.size(), 12);
    const EscPosJob job = render(laidOut);
    for (const demo::EscPosLine &line : job.lines)
        EXPECT_LE(line.text.size(), 12) << "twelve doubled Chinese fill 48 columns";
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
